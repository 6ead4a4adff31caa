/* The option call handed to the option strategy library's OnOptionCall. */
#ifndef KOVOZINT_OPTION_CALL_H
#define KOVOZINT_OPTION_CALL_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define KOVO_OPTION_TEXT_LEN 128
#define KOVO_OPTION_LEG_TEXT_LEN 64
#define KOVO_OPTION_MAX_LEGS 16

/* Every text is NUL-terminated and cut to fit. A call with more legs than
 * KOVO_OPTION_MAX_LEGS carries the first ones; legs counts those carried. */
typedef struct sOptionCall {
  int32_t legs;
  char provider[KOVO_OPTION_TEXT_LEN];
  char strategy[KOVO_OPTION_TEXT_LEN];
  char validity[KOVO_OPTION_TEXT_LEN];
  char comments[KOVO_OPTION_TEXT_LEN];
  char category[KOVO_OPTION_TEXT_LEN]; /* "Option Calls" or "Indian Volatility" */
  char exchange[KOVO_OPTION_MAX_LEGS][KOVO_OPTION_LEG_TEXT_LEN];
  char symbol[KOVO_OPTION_MAX_LEGS][KOVO_OPTION_LEG_TEXT_LEN];
  char side[KOVO_OPTION_MAX_LEGS][KOVO_OPTION_LEG_TEXT_LEN];
  char price[KOVO_OPTION_MAX_LEGS][KOVO_OPTION_LEG_TEXT_LEN];
} sOptionCall;

/* The library's export. The record is valid only during the call. */
typedef void (*KovoOnOptionCallFn)(const sOptionCall* call);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif
