/* An option strategy library: the plug-in hands it each option call. This
 * one writes what it gets, one line per call and one per leg, to the file
 * named by KOVO_OPTION_LOG (standard error when unset). Install it as
 * "kovo plugins/optionstrategy.so" beside the plug-in. */
#include <stdio.h>
#include <stdlib.h>

#include <kovozint/option_call.h>

__attribute__((visibility("default"))) void OnOptionCall(const sOptionCall* call) {
  if (!call) return;
  const char* path = getenv("KOVO_OPTION_LOG");
  FILE* out = path && *path ? fopen(path, "a") : stderr;
  if (!out) return;
  /* Texts are always terminated; "%s" keeps them out of the format. */
  fprintf(out, "%s | %s | %s | %s | %s | legs %d\n", call->category, call->provider, call->strategy,
          call->validity, call->comments, (int)call->legs);
  for (int i = 0; i < call->legs && i < KOVO_OPTION_MAX_LEGS; ++i) {
    fprintf(out, "  %s %s %s @ %s\n", call->side[i], call->exchange[i], call->symbol[i],
            call->price[i]);
  }
  if (out != stderr) fclose(out);
}
