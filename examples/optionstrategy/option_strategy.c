/* An option strategy library: the plug-in hands it each option call. This
 * one writes what it gets, one line per call and one per leg: to the file
 * named by KOVO_OPTION_LOG when that is set, else into the log of the host
 * it runs in (its pu_add_to_tabbed_log), else to standard error. Install it
 * as "kovo plugins/optionstrategy.so" beside the plug-in. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>

#include <kovozint/option_call.h>

typedef void (*HostLogFn)(const char* text);
typedef void* (*HostLookupFn)(const char* name);

/* The host's log, as the plug-in finds it: through the host's own table
 * first (it knows which functions are switched off), else by name. */
static HostLogFn HostLog(void) {
  HostLookupFn lookup = (HostLookupFn)dlsym(RTLD_DEFAULT, "kovo_host_lookup");
  if (lookup) return (HostLogFn)lookup("pu_add_to_tabbed_log");
  return (HostLogFn)dlsym(RTLD_DEFAULT, "pu_add_to_tabbed_log");
}

static void WriteLine(FILE* out, HostLogFn log, const char* line) {
  if (out)
    fprintf(out, "%s\n", line);
  else
    log(line);
}

__attribute__((visibility("default"))) void OnOptionCall(const sOptionCall* call) {
  if (!call) return;
  const char* path = getenv("KOVO_OPTION_LOG");
  HostLogFn log = path && *path ? NULL : HostLog();
  FILE* out = path && *path ? fopen(path, "a") : log ? NULL : stderr;
  if (!out && !log) return;
  /* Texts are always terminated; "%s" keeps them out of the format. */
  char line[1024];
  snprintf(line, sizeof line, "Option strategy got: %s | %s | %s | %s | %s | legs %d",
           call->category, call->provider, call->strategy, call->validity, call->comments,
           (int)call->legs);
  WriteLine(out, log, line);
  for (int i = 0; i < call->legs && i < KOVO_OPTION_MAX_LEGS; ++i) {
    snprintf(line, sizeof line, "  %s %s %s @ %s", call->side[i], call->exchange[i],
             call->symbol[i], call->price[i]);
    WriteLine(out, log, line);
  }
  if (out && out != stderr) fclose(out);
}
