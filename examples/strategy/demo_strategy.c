/*
 * A strategy that lives in the terminal's process and trades through the
 * plug-in's C order API. The terminal loads it with --strategy and calls
 * kovo_strategy_start once its session is ready and kovo_strategy_stop
 * before it closes.
 *
 * It buys RELIANCE with a limit above the market (filled at once), offers
 * some back with a limit far above it (stays open), improves that offer,
 * cancels it, and follows the buy until it is complete.
 */
#include <pthread.h>
#include <stdatomic.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#include <kovozint/kovozint.h>

#if defined(_WIN32)
#define STRATEGY_API __declspec(dllexport)
#else
#define STRATEGY_API __attribute__((visibility("default")))
#endif

static pthread_t g_thread;
static atomic_int g_stop;
static int g_running;

static void Pause(long milliseconds) {
  struct timespec t = {milliseconds / 1000, (milliseconds % 1000) * 1000000L};
  nanosleep(&t, NULL);
}

static void* Run(void* unused) {
  (void)unused;
  sApiScript* script = NULL;
  /* The session may still be logging in. */
  for (int i = 0; i < 200 && !atomic_load(&g_stop) && script == NULL; ++i) {
    script = zint_GetApiScript(NULL, "DemoStrategy");
    if (script == NULL) Pause(50);
  }
  if (script == NULL) return NULL;

  zint_Placeorder(script, "BUY", "DS-1", "NSE", "RELIANCE-EQ", "DAY", "LIMIT", 10, 5000.0, 0.0, 0,
                  "MIS", "PRO");
  zint_Placeorder(script, "SELL", "DS-2", "NSE", "RELIANCE-EQ", "DAY", "LIMIT", 5, 5000.0, 0.0, 0,
                  "MIS", "PRO");
  Pause(200);
  zint_Modifyorder(script, "DS-2", "DAY", "LIMIT", 5, 4999.95, 0.0, 0);
  Pause(200);
  zint_CancelOrder(script, "DS-2");

  char status[64] = "";
  int32_t filled = 0;
  double average = 0.0;
  for (int i = 0; i < 100 && !atomic_load(&g_stop); ++i) {
    zint_GetOrderStatus(script, "DS-1", status, sizeof status, &filled, &average);
    if (strcmp(status, "complete") == 0) break;
    Pause(50);
  }
  fprintf(stderr, "DemoStrategy: DS-1 %s, %d filled at %.2f\n", status, filled, average);
  /* The script stays open so its orders stay in view. */
  while (!atomic_load(&g_stop)) Pause(50);
  return NULL;
}

STRATEGY_API int32_t kovo_strategy_start(void) {
  if (g_running) return 1;
  atomic_store(&g_stop, 0);
  if (pthread_create(&g_thread, NULL, Run, NULL) != 0) return 0;
  g_running = 1;
  return 1;
}

STRATEGY_API void kovo_strategy_stop(void) {
  if (!g_running) return;
  atomic_store(&g_stop, 1);
  pthread_join(g_thread, NULL);
  g_running = 0;
}
