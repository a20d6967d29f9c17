/* Kestrane_DLL: finds the voltmeter boards among the HID devices present and
 * performs one command/answer exchange with one board per call. Every export
 * returns 1 on success and 0 on failure and writes its text, zero-terminated,
 * into a buffer the caller owns. */
#ifndef KESTRANE_DLL_H
#define KESTRANE_DLL_H

#include <stdint.h>

#if defined(KESTRANE_DLL_BUILDING)
#define KESTRANE_DLL_API __attribute__((visibility("default")))
#else
#define KESTRANE_DLL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The exports cannot learn the size of the caller's buffer, so each one
 * writes at most the number of bytes named here (terminator included). */
#define KESTRANE_LIST_TEXT_SIZE 1021  /* FindKestranes: 204 boards x 5 + 1 */
#define KESTRANE_ANSWER_TEXT_SIZE 128 /* ReadKestrane, any command and mode */
#define KESTRANE_STRING_TEXT_SIZE 256 /* GetManufacturerString, GetProductString */
#define KESTRANE_VERSION_TEXT_SIZE 5  /* GetVersionString */
#define KESTRANE_TEST_TEXT_SIZE 3     /* TestDLL */
#define KESTRANE_MAX_LISTED_BOARDS 204

/* Lists every board (USB vendor ID 0x0000) that could be opened, in
 * enumeration order, as four upper-case hex digits of its product ID each
 * followed by "|": "000A|000B|", or "" when there is none. At most 204
 * boards are listed; the text needs 5 bytes per board plus 1 (at most
 * KESTRANE_LIST_TEXT_SIZE). Returns 0, text untouched, when the present
 * HID devices cannot be obtained. */
KESTRANE_DLL_API int32_t FindKestranes(char* text);

/* One exchange with the board whose product ID is `product_id` (upper 16
 * bits set never match). `command` 1-6 reads that channel, 8 reads the
 * firmware text. `mode` 0 gives the reading word as signed decimal
 * ("1074790592"), mode 1 the reading in volts ("+ 0.197734"); the firmware
 * text is returned as the board sent it. Needs KESTRANE_ANSWER_TEXT_SIZE
 * bytes. Returns 0, text untouched, for a bad command or mode (nothing is
 * sent), a board that is absent or busy, a failed write, a failed read, a
 * board that does not answer within a second, or an answer too short to
 * hold a reading. */
KESTRANE_DLL_API int32_t ReadKestrane(int32_t product_id, int32_t command, int32_t mode, char* text);

/* The board's USB manufacturer / product string, one byte per UTF-16 code
 * unit (its low 8 bits), at most 255 characters. Returns 0, text untouched,
 * when the board is not found or the string cannot be read. */
KESTRANE_DLL_API int32_t GetManufacturerString(int32_t product_id, char* text);
KESTRANE_DLL_API int32_t GetProductString(int32_t product_id, char* text);

/* The board's USB version number as four upper-case hex digits ("0100").
 * Returns 0, text untouched, when the board is not found. */
KESTRANE_DLL_API int32_t GetVersionString(int32_t product_id, char* text);

/* Writes "OK" and returns 1; touches no device. */
KESTRANE_DLL_API int32_t TestDLL(char* text);

#ifdef __cplusplus
}
#endif

#endif
