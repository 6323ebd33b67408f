// The compression library's C interface (WSQPACK_Compress, ...).

/* C interface of the WSQ compression library (libWSQPACK.so). The station binds it at run
 * time by these export names. Every function returns 0 on success and a negative code on
 * failure; on failure no out-parameter is written. */
#ifndef WSQPACK_API_H
#define WSQPACK_API_H

#ifdef __cplusplus
extern "C" {
#endif

enum {
    WSQPACK_OK = 0,
    WSQPACK_E_ARGUMENT = -1, /* null pointer, size out of range, bits per pixel other than 8 */
    WSQPACK_E_MEMORY = -2,   /* the result could not be allocated */
    WSQPACK_E_FORMAT = -3,   /* WSQ data malformed, truncated or beyond the decoder's limits */
    WSQPACK_E_INTERNAL = -4  /* anything else */
};

/* Compresses width x height 8-bit gray pixels (row after row, top row first, no padding).
 * On success *data receives a block allocated by the library and *size its length; release
 * the block with WSQPACK_Free. comment may be null; otherwise it is stored as a comment
 * segment of the file. Refused with WSQPACK_E_ARGUMENT: a side below 17 (the smallest the
 * five-level decomposition allows) or beyond the decoder's limits, a bit rate outside (0, 8],
 * a comment longer than 65533 bytes. A ppi of 0 or less is stored as unknown. */
int WSQPACK_Compress(unsigned char** data, int* size, float bitRate, const unsigned char* pixels,
                     int width, int height, int bitsPerPixel, int ppi, const char* comment);

/* Decompresses a WSQ block of size bytes. On success *pixels receives width x height 8-bit
 * gray pixels allocated by the library (release with WSQPACK_Free), *bitsPerPixel is 8 and
 * *ppi the resolution stored in the file (-1 when the file does not say). */
int WSQPACK_Uncompress(unsigned char** pixels, int* width, int* height, int* bitsPerPixel, int* ppi,
                       const unsigned char* data, int size);

/* Releases a block returned by this library and sets *data to null. A null data, or a null
 * *data, is nothing to release. */
int WSQPACK_Free(unsigned char** data);

#ifdef __cplusplus
}
#endif

#endif
