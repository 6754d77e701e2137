/* SPDX-License-Identifier: MIT. Copyright (c) 2026 The theme-packager developers. */
/*
 * Draws the images of a theme-packager build on a device, straight from where the build lies:
 * memory-mapped flash, or any storage read through a callback (SPI NOR by commands, an SD card).
 * Copy theme_reader.h and theme_reader.c into your tree; they need a C99 compiler, <stdint.h>,
 * <stddef.h> and <string.h> for memcpy and memset, and nothing else from the C library.
 *
 * Guarantees, whatever the bytes of the build hold:
 *   - no allocation, no global or static mutable state, no recursion; the stack each call uses
 *     is fixed and small; the objects below are plain structs you allocate where you like;
 *   - nothing is read outside the bytes (or the size) you give, nothing is written outside the
 *     clip of a draw or the width of a row; every fault is a status, never a crash.
 *
 * The files (all integers 32-bit little-endian, offsets from the start of their file):
 *
 *   Index.bin   "Index\0\0" and a padding byte, groupCount G, directoryOffset (16);
 *               G directory entries of 16 bytes: group name (11 bytes, zero-filled, no
 *               terminator when it fills the field), 0x02, groupOffset;
 *               per group at its groupOffset: imageCount n, dataOffset, 8 zero bytes, then n
 *               entries of 48 bytes: image name (39 bytes, as above), 0x02, slotOffset,
 *               slotSize; last, "EndOfIndex".
 *   Theme.bin   "Theme\0\0", padding, 8 zero bytes; the slots; "EndOfTheme". The slot of an
 *               image lies at dataOffset + slotOffset in every theme's Theme.bin.
 *   A slot      a 16-byte image header: magic "PRI0" or "RLE4", width, height, bitsPerPixel
 *               (16); then the pixels (PRI0: rows of RGB565 little-endian, top row first) or the
 *               runs (RLE4), then 'P' bytes up to the slot's size.
 *   RLE4 runs   16-bit little-endian units, row by row: a control unit, bit 15 image end, bit 14
 *               row end, bit 13 repeat, bit 12 zero, bits 11-0 length (1..4095 pixels); a repeat
 *               run has one pixel after it, a literal run `length` pixels. No run crosses a row.
 *
 * Statuses: every function returns THEME_OK or the first fault it met; theme_status_text names
 * it. An index or image whose open failed is THEME_E_ARGUMENT to every later call. A draw or a row
 * that meets a broken stream returns THEME_E_STREAM and leaves the pixels it already wrote: check
 * an image once with theme_image_check (the packer's builds always pass) when a half-drawn image
 * would matter.
 */
#ifndef THEME_READER_H
#define THEME_READER_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef enum {
    THEME_OK = 0,
    THEME_E_ARGUMENT,  /* a null pointer, a window under THEME_MIN_WINDOW, a bad clip or range */
    THEME_E_INDEX,     /* the index's bytes are not a whole, consistent Index.bin */
    THEME_E_NOT_FOUND, /* no such group and image, or an ordinal past the last image */
    THEME_E_SLOT,      /* the slot does not lie inside the theme's bytes */
    THEME_E_IMAGE,     /* the slot does not hold a 16-bit PRI0 or RLE4 image that fits it */
    THEME_E_STREAM,    /* the runs break the format's rules, or end before the image does */
    THEME_E_READ       /* the read callback failed */
} theme_status;

/* A short English text for status, for logs. */
const char* theme_status_text(theme_status status);

/* Where an image lies in every Theme.bin of the build: bytes from the start of the file. */
typedef struct {
    uint32_t offset, size;
} theme_slot;

typedef struct {
    int32_t x, y, w, h;
} theme_rect;

/* Each pixel in the other byte order than the CPU's: on a little-endian CPU, RGB565 big-endian,
 * as most SPI panels take it. */
#define THEME_SWAP_BYTES 1u

#define THEME_KEYED 2u
/* Pixels whose stored RGB565 value (before any swap) equals key are not written: what lies
   under them stays. Combine with THEME_SWAP_BYTES by |. */
#define THEME_COLOR_KEY(key) (THEME_KEYED | ((uint32_t)(uint16_t)(key) << 16))

/*
 * Reads len bytes at offset of the file into dst; returns 0 when all of them were read. The reader
 * reads only into the window you give it: an image's 16-byte header into its first 16 bytes when
 * the image is opened, everything else after them, at any byte offset (dst may be unaligned), len
 * from 1 to the window's size less 16, at any offset of the file inside the index or the slot.
 */
typedef int (*theme_read_fn)(void* ctx, uint32_t offset, void* dst, uint32_t len);

/* The smallest window the _io functions take. A larger one means fewer, longer reads. */
#define THEME_MIN_WINDOW 64u

/* Where a file's bytes come from. Fill it through the open functions only. */
typedef struct {
    const uint8_t* bytes; /* memory-mapped: the bytes; NULL when read through `read` */
    theme_read_fn read;
    void* ctx;
    uint8_t* window; /* the caller's buffer the _io path reads into */
    uint32_t window_size;
    uint32_t base; /* offset of the first byte in the file */
    uint32_t size; /* bytes that may be read from base on */
} theme_source;

typedef struct {
    theme_source src;
    uint32_t group_count;
    uint32_t directory; /* offset of the group directory */
    uint32_t image_count;
} theme_index;

typedef struct {
    theme_source src; /* the slot */
    int32_t width, height;
    uint32_t rle; /* 1: RLE4, 0: PRI0 */
} theme_image;

/* The reader's own state of a walk over an image's rows: where it stands in the bytes, and how
 * pixels go out; and where an image placed in a clip shows. Read none of it. */
struct theme_cursor {
    const uint8_t *p, *end; /* the bytes at hand: mapped, or in the window */
    uint32_t next;          /* the source offset of the byte after end */
    const theme_source* src;
};

struct theme_walk {
    struct theme_cursor c;
    const theme_image* image;
    uint32_t row;     /* the next image row */
    uint32_t reverse; /* each pixel's bytes swapped on the way out */
    uint32_t key;     /* the pixel value not written, as it goes out; none above 0xFFFF */
};

struct theme_place {
    uint32_t c0, c1, left; /* image columns [c0, c1) show, column c0 in the clip's column left */
    uint32_t r0, r1, top;  /* image rows [r0, r1) show, row r0 in the clip's row top */
};

/* A walk over the rows of an image placed in a clip, top row first. Fill it through
 * theme_rows_begin or theme_rows_begin_at only. */
typedef struct {
    theme_image image;        /* the image as the walk began it: the walk reads this one */
    const theme_image* begun; /* the image it was begun on, which must stay as it was */
    struct theme_walk at;
    struct theme_place place;
    uint32_t line, lines; /* the clip's next row, and its rows */
    uint32_t columns;     /* the clip's columns */
    theme_status status;  /* once a step failed, every later step gives its status */
} theme_rows;

/*
 * Opens an Index.bin of size bytes at bytes. Checks the tag, the end marker, the directory and
 * every group's block against size; THEME_E_INDEX when any of them is wrong.
 */
theme_status theme_index_open(theme_index* index, const void* bytes, uint32_t size);

/*
 * The same for an Index.bin of size bytes read through read(ctx, ...) into window, which must
 * hold THEME_MIN_WINDOW bytes or more. Nothing is kept in window between calls but by a row walk
 * (theme_rows_begin_at): one window may serve every index and image of a program, one call at a
 * time. The index, the window and ctx must live as long as the index is used.
 */
theme_status theme_index_open_io(theme_index* index, theme_read_fn read, void* ctx, uint32_t size,
                                 uint8_t* window, uint32_t window_size);

/* The number of images, in index order. */
uint32_t theme_index_count(const theme_index* index);

/*
 * The slot of the image name in group, as `theme-inspect list` shows them: the stored names,
 * which are cut to 11 (group) and 39 (image) bytes. The first match in index order;
 * THEME_E_NOT_FOUND when there is none.
 */
theme_status theme_index_find(const theme_index* index, const char* group, const char* name,
                              theme_slot* slot);

/* The slot of image ordinal (0 .. count - 1, in index order; `theme-inspect header` names them). */
theme_status theme_index_slot(const theme_index* index, uint32_t ordinal, theme_slot* slot);

/*
 * THEME_OK when the index is size bytes long and their CRC-32 (that of zlib and gzip) is crc32:
 * the index is the one the program was built against (THEME_INDEX_SIZE and THEME_INDEX_CRC32 of
 * the header `theme-inspect header` writes). THEME_E_INDEX otherwise. Reads the whole index.
 */
theme_status theme_index_verify(const theme_index* index, uint32_t size, uint32_t crc32);

/*
 * THEME_OK when the index names the same groups and images in the same order as the one the IDs
 * were made from (THEME_IDS_CRC32 of the header `theme-inspect header` writes: the CRC-32 of the
 * group and image name fields in index order); THEME_E_INDEX otherwise. Slots that moved, or art
 * that changed, do not matter: a theme update that keeps the names passes, and every ID the
 * program was built with still names its image. Reads the name fields only.
 */
theme_status theme_index_check_ids(const theme_index* index, uint32_t ids_crc32);

/*
 * Opens the image in slot of a Theme.bin of theme_size bytes at theme_bytes. THEME_E_SLOT when
 * the slot does not lie inside theme_size; THEME_E_IMAGE when its header is not RLE4 or PRI0 of
 * 16 bits per pixel with a width and height of 1 or more that its bytes can hold.
 */
theme_status theme_image_open(theme_image* image, const void* theme_bytes, uint32_t theme_size,
                              theme_slot slot);

/* The same, read through read(ctx, ...) into window (see theme_index_open_io). */
theme_status theme_image_open_io(theme_image* image, theme_read_fn read, void* ctx,
                                 uint32_t theme_size, theme_slot slot, uint8_t* window,
                                 uint32_t window_size);

int32_t theme_image_width(const theme_image* image);
int32_t theme_image_height(const theme_image* image);

/* Walks the whole stream by the format's rules and writes nothing: THEME_OK or the fault. */
theme_status theme_image_check(const theme_image* image);

/*
 * Draws image with its top-left pixel at (x, y) of a framebuffer of stride_px pixels a row,
 * writing exactly the pixels inside clip and the placed image, nothing else. clip must lie in
 * the framebuffer: x, y, w, h of 0 or more and x + w <= stride_px (THEME_E_ARGUMENT otherwise);
 * an empty clip draws nothing. Pixels are RGB565 in the CPU's order, or swapped with
 * THEME_SWAP_BYTES in flags; with THEME_COLOR_KEY(key) in flags the pixels of that value are not
 * written (a repeat run of it costs nothing). Any other bit of flags is THEME_E_ARGUMENT. Rows
 * above the clip are passed by their control units, rows below it are not read. On a fault the
 * pixels already written stay.
 */
theme_status theme_draw(const theme_image* image, uint16_t* framebuffer, uint32_t stride_px,
                        theme_rect clip, int32_t x, int32_t y, uint32_t flags);

/*
 * Starts a walk over the rows of clip, for a display without a framebuffer: image placed with its
 * top-left pixel at (x, y), clip and flags as for theme_draw (but that no stride bounds the clip).
 * Each theme_rows_next then gives the next of clip's h rows. THEME_E_ARGUMENT for a bad clip or
 * flags; a walk that did not begin refuses every step.
 *
 * The walk keeps its place between calls (the image must outlive it): walking all rows reads the
 * slot's bytes once, whatever the window's size. Through the _io functions it keeps the bytes it
 * has read in its image's window until it ends: meanwhile give that window to no other index or
 * image. Its image opened again on another slot or storage ends the walk (its later steps are
 * THEME_E_ARGUMENT); opened again on the same slot, it is the same image, and the walk goes on.
 */
theme_status theme_rows_begin_at(theme_rows* rows, const theme_image* image, int32_t x, int32_t y,
                                 theme_rect clip, uint32_t flags);

/* The walk over the image's own rows: theme_rows_begin_at at (0, 0) with the image as the clip. */
theme_status theme_rows_begin(theme_rows* rows, const theme_image* image, uint32_t flags);

/*
 * Writes columns [x0, x0 + width) of the clip's next row into line[0 .. width): the image's
 * pixels there, and nothing where the image is not (a row above or below it writes nothing).
 * With a colour key, the elements of line under key pixels stay as the caller left them too
 * (fill line with what lies under the image first). THEME_E_ARGUMENT when that range is not
 * inside the clip or no row is left; the rows above are passed by their control units.
 */
theme_status theme_rows_next(theme_rows* rows, uint16_t* line, int32_t x0, int32_t width);

/* Passes count rows of the clip, writing nothing (THEME_E_ARGUMENT past the last row); their
 * runs are passed, and checked, when a later row is written. */
theme_status theme_rows_skip(theme_rows* rows, int32_t count);

#ifdef __cplusplus
}
#endif

#endif /* THEME_READER_H */
