/*
 * connectkovo: the message library shared by the host, the back end and the
 * plug-in.
 *
 * A message is a set of numbered fields; each field carries one or more byte
 * strings (values), kept in the order they were added. Messages are built in
 * a scratch buffer through a builder, encoded into a frame, sent as bytes and
 * decoded on the other side into a read-only message handle.
 *
 * Every function returns a 32-bit result (non-zero on success unless stated)
 * and writes a 32-bit error value (WMP_ERR_*) through its last argument when
 * that pointer is not NULL. No function throws or aborts on bad input.
 *
 * Wire format of one frame (all integers little-endian):
 *   u32 magic   WMP_FRAME_MAGIC
 *   u16 version WMP_WIRE_VERSION
 *   u16 flags   0
 *   u32 length  of the payload that follows
 *   payload: entries, each  u32 field id | u32 value length | value bytes
 * A field with several values has one entry per value, in value order.
 */
#ifndef CONNECTKOVO_CONNECTKOVO_H
#define CONNECTKOVO_CONNECTKOVO_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define WMP_API __declspec(dllexport)
#else
#define WMP_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define WMP_FRAME_MAGIC 0x4D5A564Bu /* "KVZM" as bytes on the wire */
#define WMP_WIRE_VERSION 1u
#define WMP_FRAME_HEADER_SIZE 12u

/* Largest scratch buffer a builder may grow to, and so the largest message. */
#define WMP_SCRATCH_MAX_BYTES (16u * 1024u * 1024u)
/* Largest payload a decoder or framer accepts unless told otherwise. */
#define WMP_MAX_PAYLOAD_BYTES WMP_SCRATCH_MAX_BYTES

/* Error values. */
enum {
  WMP_OK = 0,
  WMP_ERR_ARGUMENT = 1,     /* a NULL handle or pointer, a negative field id or length */
  WMP_ERR_NO_MEMORY = 2,    /* allocation failed */
  WMP_ERR_NOT_STARTED = 3,  /* wmp_add_data before wmp_start_msg */
  WMP_ERR_TOO_LARGE = 4,    /* the message would pass WMP_SCRATCH_MAX_BYTES / the frame limit */
  WMP_ERR_MALFORMED = 5,    /* bytes that are not a well-formed frame */
  WMP_ERR_NOT_FOUND = 6,    /* the field, or the value index, is not in the message */
  WMP_ERR_BUFFER_SMALL = 7, /* the caller's output buffer is too small */
  WMP_ERR_VERSION = 8       /* a frame of an unknown wire version */
};

typedef struct wmp_builder wmp_builder; /* builds one message at a time */
typedef struct wmp_msg wmp_msg;         /* a decoded, read-only message */
typedef struct wmp_framer wmp_framer;   /* splits a byte stream into frames */

/* The first member of a scratch buffer is its fill length in bytes; a sender
 * may set it to 0 before starting a message. The rest is private. */
typedef struct wmp_scratch {
  uint32_t fill_length;
} wmp_scratch;

/* A value: pointer to bytes and their 64-bit length. */
typedef struct wmp_value {
  const void* data;
  int64_t length;
} wmp_value;

/* ---- building ---------------------------------------------------------- */

/* Creates a builder. */
WMP_API int32_t wmp_ctor_primecb(wmp_builder** builder, int32_t* error);
/* Destroys a builder; NULL is accepted. */
WMP_API int32_t wmp_dtor_primecb(wmp_builder* builder, int32_t* error);

/* Opens a scratch buffer of `size` bytes (at least WMP_FRAME_HEADER_SIZE, at
 * most WMP_SCRATCH_MAX_BYTES). The buffer grows on demand up to
 * WMP_SCRATCH_MAX_BYTES. */
WMP_API int32_t wmp_open_scratch(wmp_scratch** scratch, int64_t size, int32_t* error);
/* Closes a scratch buffer; NULL is accepted. A builder that was using it
 * must be started again before further adds. */
WMP_API int32_t wmp_close_scratch(wmp_scratch* scratch, int32_t* error);

/* Starts a new, empty message in `scratch`, dropping whatever was built there. */
WMP_API int32_t wmp_start_msg(wmp_builder* builder, wmp_scratch* scratch, int32_t* error);

/* Adds `count` values to field `field_id` (0 .. INT32_MAX). Adding a field
 * that is already present appends further values to it. Either every value is
 * added or none (WMP_ERR_TOO_LARGE when the scratch buffer would pass its cap). */
WMP_API int32_t wmp_add_data(wmp_builder* builder, int32_t field_id, int32_t count,
                             const wmp_value* values, int32_t* error);

/* The built message as one frame, without copying: *frame points into the
 * scratch buffer and stays valid until the next start or add. */
WMP_API int32_t wmp_built_frame(const wmp_builder* builder, const void** frame, size_t* length,
                                int32_t* error);

/* Copies the built frame into buffer. *length receives the frame's size
 * also when the buffer is too small (WMP_ERR_BUFFER_SMALL), so a caller can
 * grow and retry. */
WMP_API int32_t wmp_encode(const wmp_builder* builder, void* buffer, size_t capacity,
                           size_t* length, int32_t* error);

/* ---- reading ----------------------------------------------------------- */

/* Creates an empty message handle (no fields) for wmp_decode to fill. */
WMP_API int32_t wmp_msg_create(wmp_msg** message, int32_t* error);

/* Decodes exactly one frame of `length` bytes into `message`, replacing what
 * it held. The bytes are copied, so the caller's buffer may go away. Every
 * length is checked against the buffer; on failure the message is left
 * empty and the error says why (WMP_ERR_MALFORMED, WMP_ERR_VERSION,
 * WMP_ERR_TOO_LARGE). */
WMP_API int32_t wmp_decode(wmp_msg* message, const void* frame, size_t length, int32_t* error);

/* Destroys a message handle; NULL is accepted. */
WMP_API int32_t wmp_msg_free(wmp_msg* message, int32_t* error);

/* The number of values field `field_id` carries; 0 (error WMP_ERR_NOT_FOUND)
 * when the message lacks the field. *total_bytes, when not NULL, receives the
 * sum of the value lengths (saturated at INT32_MAX). */
WMP_API int32_t wmp_get_field(const wmp_msg* message, int32_t field_id, int32_t* total_bytes,
                              int32_t* error);

/* Value `index` of field `field_id`: *value points into the message and stays
 * valid until the message is decoded into again or freed. Returns 0 with
 * WMP_ERR_NOT_FOUND when the field or the index is missing. */
WMP_API int32_t wmp_get_data(const wmp_msg* message, int32_t field_id, int32_t index,
                             wmp_value* value, int32_t* error);

/* Number of distinct fields, and the id of the n-th (ascending order), so a
 * message can be listed without knowing its fields. */
WMP_API int32_t wmp_field_count(const wmp_msg* message);
WMP_API int32_t wmp_field_id_at(const wmp_msg* message, int32_t n, int32_t* field_id,
                                int32_t* error);

/* ---- framing a byte stream --------------------------------------------- */

/* Creates a framer that accepts frames whose payload is at most
 * max_payload bytes (0 means WMP_MAX_PAYLOAD_BYTES). */
WMP_API int32_t wmp_framer_create(wmp_framer** framer, uint32_t max_payload, int32_t* error);
WMP_API int32_t wmp_framer_free(wmp_framer* framer, int32_t* error);

/* Appends bytes received from a stream. */
WMP_API int32_t wmp_framer_push(wmp_framer* framer, const void* bytes, size_t length,
                                int32_t* error);

/* Takes the next complete frame: returns 1 and points *frame / *length at it
 * (valid until the next push or next call); returns 0 with WMP_OK when more
 * bytes are needed; returns 0 with WMP_ERR_MALFORMED, WMP_ERR_VERSION or
 * WMP_ERR_TOO_LARGE when the stream is broken (bad magic, unknown version,
 * payload over the limit) — the stream cannot be resynchronised and should
 * be closed. */
WMP_API int32_t wmp_framer_next(wmp_framer* framer, const void** frame, size_t* length,
                                int32_t* error);

/* Text for an error value (static, never NULL). */
WMP_API const char* wmp_error_text(int32_t error);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* CONNECTKOVO_CONNECTKOVO_H */
