/* SPDX-License-Identifier: MIT. Copyright (c) 2026 The theme-packager developers. */
/*
 * The device reader (see theme_reader.h). One cursor serves both kinds of storage: memory-mapped
 * bytes are all at hand from the start, so the refill that the _io path needs is only reached
 * there at the end of the bytes, where it reports the end; the pixel loops are the same for both.
 */
#include "theme_reader.h"

#include <stddef.h>
#include <string.h>

/* The files' numbers. */
#define HEADER_SIZE 16u /* file header; image header */
#define END_MARKER_SIZE 10u
#define DIRECTORY_ENTRY_SIZE 16u
#define GROUP_HEADER_SIZE 16u
#define IMAGE_ENTRY_SIZE 48u
#define GROUP_NAME_WIDTH 11u
#define IMAGE_NAME_WIDTH 39u
#define ENTRY_SLOT_OFFSET 40u
#define MAGIC_PRI0 0x30495250u
#define MAGIC_RLE4 0x34454C52u

/* An RLE4 control unit: bits 0-11 length, bit 12 zero, bit 13 repeat, bit 14 row end, bit 15
 * image end. */
#define RUN_LENGTH 0x0FFFu
#define RUN_ZERO 0x1000u
#define RUN_REPEAT 0x2000u
#define RUN_ENDS_SHIFT 14
#define RUN_ROW_END 1u
#define RUN_IMAGE_END 2u
#define RUN_MAX 4095u

static uint32_t le16(const uint8_t* p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8;
}

static uint32_t le32(const uint8_t* p) {
    return le16(p) | le16(p + 2) << 16;
}

static int same_bytes(const uint8_t* p, const char* text, uint32_t n) {
    uint32_t i;
    for (i = 0; i < n && p[i] == (uint8_t)text[i]; ++i) {
    }
    return i == n;
}

/* A name field of width bytes holds name: its bytes up to the first zero, or all of them. */
static int field_is(const uint8_t* field, uint32_t width, const char* name) {
    uint32_t i;
    for (i = 0; i < width; ++i) {
        if (field[i] != (uint8_t)name[i]) {
            return 0;
        }
        if (name[i] == '\0') {
            return 1;
        }
    }
    return name[width] == '\0';
}

/* ---- Reading a source in order ---- */

/* Bytes [p, end) are at hand; next is the source offset of the byte after end. */
typedef struct {
    const uint8_t *p, *end;
    uint32_t next;
    const theme_source* src;
} cursor;

static const uint8_t* cursor_start(const theme_source* s) {
    return s->bytes != NULL ? s->bytes : s->window;
}

/* Moves to pos (at most the source's size); the _io path keeps the window when pos is in it. */
static void cursor_seek(cursor* c, uint32_t pos) {
    const uint8_t* start = cursor_start(c->src);
    const uint32_t low = c->next - (uint32_t)(c->end - start);
    if (pos >= low && pos <= c->next) {
        c->p = start + (pos - low);
    } else {
        c->p = c->end = c->src->window;
        c->next = pos;
    }
}

static void cursor_open(cursor* c, const theme_source* s, uint32_t pos) {
    c->src = s;
    c->p = cursor_start(s);
    c->end = s->bytes != NULL ? s->bytes + s->size : s->window;
    c->next = s->bytes != NULL ? s->size : 0;
    cursor_seek(c, pos);
}

static uint32_t cursor_pos(const cursor* c) {
    return c->next - (uint32_t)(c->end - c->p);
}

/* Makes need bytes (at most THEME_MIN_WINDOW) be at hand. */
static theme_status cursor_fill(cursor* c, uint32_t need) {
    const theme_source* s = c->src;
    const uint32_t have = (uint32_t)(c->end - c->p);
    uint32_t len;
    if (have >= need) {
        return THEME_OK;
    }
    if (s->size - c->next < need - have) {
        return THEME_E_STREAM;
    }
    /* Only the _io path gets here: keep the bytes at hand, read as much as the window takes. */
    for (len = 0; len < have; ++len) {
        s->window[len] = c->p[len];
    }
    len = s->window_size - have;
    if (len > s->size - c->next) {
        len = s->size - c->next;
    }
    if (s->read(s->ctx, s->base + c->next, s->window + have, len) != 0) {
        return THEME_E_READ;
    }
    c->p = s->window;
    c->end = s->window + have + len;
    c->next += len;
    return THEME_OK;
}

static theme_status cursor_skip(cursor* c, uint32_t n) {
    const uint32_t have = (uint32_t)(c->end - c->p);
    if (n <= have) {
        c->p += n;
        return THEME_OK;
    }
    if (c->src->size - c->next < n - have) {
        return THEME_E_STREAM;
    }
    c->next += n - have; /* _io only: the bytes passed are never read */
    c->p = c->end = c->src->window;
    return THEME_OK;
}

/* ---- Pixels ---- */

/* reverse: swap each pixel's bytes as they are stored (little-endian) on their way out. */
static unsigned reversed(uint32_t flags) {
    const uint16_t one = 1;
    uint8_t first;
    memcpy(&first, &one, 1);
    return (unsigned)(flags & THEME_SWAP_BYTES) ^ (first == 0 ? 1u : 0u);
}

static uint32_t swap_pair(uint32_t w) {
    return (w & 0x00FF00FFu) << 8 | (w >> 8 & 0x00FF00FFu);
}

static uint16_t load_pixel(const uint8_t* s, unsigned reverse) {
    uint16_t v;
    memcpy(&v, s, 2);
    if (reverse) {
        v = (uint16_t)(v << 8 | v >> 8);
    }
    return v;
}

#if defined(__GNUC__) && defined(__thumb2__) && defined(__ARM_FEATURE_UNALIGNED) &&                \
    (defined(__ARM_ARCH_7M__) || defined(__ARM_ARCH_7EM__))
/* ARMv7-M (Cortex-M3, M4, M7) where unaligned loads are allowed (not with -mno-unaligned-access):
 * whole blocks with multiple stores, which take four registers in one instruction. Both from a
 * 4-byte boundary of d; the C loops below do the rest. */
#define BLOCK_STORES 1

/* blocks times sixteen pixels of pair. */
static uint16_t* fill_blocks(uint16_t* d, uint32_t pair, uint32_t blocks) {
    register uint32_t r4 __asm__("r4") = pair;
    register uint32_t r5 __asm__("r5") = pair;
    register uint32_t r6 __asm__("r6") = pair;
    register uint32_t r8 __asm__("r8") = pair;
    __asm__ volatile("1: stmia %[d]!, {r4, r5, r6, r8}\n"
                     "   stmia %[d]!, {r4, r5, r6, r8}\n"
                     "   subs %[n], %[n], #1\n"
                     "   bne 1b\n"
                     : [d] "+r"(d), [n] "+r"(blocks)
                     : "r"(r4), "r"(r5), "r"(r6), "r"(r8)
                     : "cc", "memory");
    return d;
}

/* blocks times eight pixels from s, which need not be word-aligned: single loads, which may be
 * unaligned on these cores, and one multiple store. */
static uint16_t* copy_blocks(uint16_t* d, const uint8_t* s, uint32_t blocks) {
    __asm__ volatile("1: ldr r4, [%[s]]\n"
                     "   ldr r5, [%[s], #4]\n"
                     "   ldr r6, [%[s], #8]\n"
                     "   ldr r8, [%[s], #12]\n"
                     "   adds %[s], %[s], #16\n"
                     "   stmia %[d]!, {r4, r5, r6, r8}\n"
                     "   subs %[n], %[n], #1\n"
                     "   bne 1b\n"
                     : [d] "+r"(d), [s] "+r"(s), [n] "+r"(blocks)
                     :
                     : "r4", "r5", "r6", "r8", "cc", "memory");
    return d;
}
#endif

/* n pixels of value v: two a store from a 4-byte boundary on. */
static void fill_pixels(uint16_t* d, uint16_t v, uint32_t n) {
    const uint32_t pair = (uint32_t)v * 0x10001u;
    if (((uintptr_t)d & 2u) != 0 && n != 0) {
        *d++ = v;
        --n;
    }
#ifdef BLOCK_STORES
    if (n >= 16) {
        d = fill_blocks(d, pair, n / 16);
        n %= 16;
    }
#endif
    for (; n >= 8; n -= 8, d += 8) {
        memcpy(d, &pair, 4);
        memcpy(d + 2, &pair, 4);
        memcpy(d + 4, &pair, 4);
        memcpy(d + 6, &pair, 4);
    }
    if ((n & 4) != 0) {
        memcpy(d, &pair, 4);
        memcpy(d + 2, &pair, 4);
        d += 4;
    }
    if ((n & 2) != 0) {
        memcpy(d, &pair, 4);
        d += 2;
    }
    if ((n & 1) != 0) {
        *d = v;
    }
}

/* n pixels from s, each one that is not key (in the order they go out; above 0xFFFF: none is). */
static void put_keyed(uint16_t* d, const uint8_t* s, uint32_t n, unsigned reverse, uint32_t key) {
    uint32_t i;
    for (i = 0; i < n; ++i) {
        const uint16_t v = load_pixel(s + 2u * i, reverse);
        if (v != key) {
            d[i] = v;
        }
    }
}

/* n pixels from s: two a store from a 4-byte boundary of d on; with a key, pixel by pixel. */
static void put_pixels(uint16_t* d, const uint8_t* s, uint32_t n, unsigned reverse, uint32_t key) {
    uint32_t w;
    if (key <= 0xFFFFu) {
        put_keyed(d, s, n, reverse, key);
        return;
    }
    if (((uintptr_t)d & 2u) != 0 && n != 0) {
        *d++ = load_pixel(s, reverse);
        s += 2;
        --n;
    }
#ifdef BLOCK_STORES
    if (!reverse && n >= 8) {
        d = copy_blocks(d, s, n / 8);
        s += 2u * (n & ~7u);
        n %= 8;
    }
#endif
    for (; n >= 2; n -= 2, d += 2, s += 4) {
        memcpy(&w, s, 4);
        w = reverse ? swap_pair(w) : w;
        memcpy(d, &w, 4);
    }
    if ((n & 1) != 0) {
        *d = load_pixel(s, reverse);
    }
}

/* ---- Rows ---- */

/* A pass over an image's rows: where it stands in the bytes, and where the pixels go. Rows
 * [r0, r1) have their pixels [c0, c1) written, row r0's to fb and each next one a stride on; the
 * rows before r0 are passed by their control units; the pass ends before row r1. */
typedef struct {
    cursor c;
    const theme_image* im;
    uint16_t* fb;
    uint32_t stride;
    uint32_t c0, c1, r0, r1;
    uint32_t row; /* the next row */
    unsigned reverse;
    uint32_t key; /* the pixel value not written, as it goes out; none above 0xFFFF */
} walk;

/* Copies n pixels that start at the cursor, refilling the window as they come (the _io path). */
static theme_status copy_pixels(cursor* c, uint16_t* d, uint32_t n, unsigned reverse,
                                uint32_t key) {
    while (n != 0) {
        uint32_t have = (uint32_t)(c->end - c->p) / 2u;
        if (have == 0) {
            const theme_status st = cursor_fill(c, 2);
            if (st != THEME_OK) {
                return st;
            }
            continue;
        }
        if (have > n) {
            have = n;
        }
        put_pixels(d, c->p, have, reverse, key);
        d += have;
        c->p += 2u * have;
        n -= have;
    }
    return THEME_OK;
}

/* Passes len pixels at the cursor (the start of a literal run's pixels, or of a PRI0 row's),
 * writing those in [c0, c1) when d is given; x is the first one's column. */
static theme_status pass_pixels(walk* w, uint16_t* d, uint32_t x, uint32_t len) {
    const uint32_t from = x > w->c0 ? x : w->c0, to = x + len < w->c1 ? x + len : w->c1;
    theme_status st = THEME_OK;
    if (d != NULL && from < to) {
        st = cursor_skip(&w->c, 2u * (from - x));
        if (st == THEME_OK) {
            st = copy_pixels(&w->c, d + (from - w->c0), to - from, w->reverse, w->key);
        }
        len = x + len - to;
    }
    return st == THEME_OK ? cursor_skip(&w->c, 2u * len) : st;
}

/* Passes one row of an RLE4 image by its control units, writing its pixels [c0, c1) to d when d
 * is given. The bytes at hand are kept in locals, and given back to the cursor around calls that
 * move it. Every run takes 4 bytes or more, so that many are at hand before one is read. */
static theme_status rle_row(walk* w, uint16_t* d, uint32_t ends) {
    const uint32_t width = (uint32_t)w->im->width, c0 = w->c0, c1 = d != NULL ? w->c1 : 0;
    const uint8_t *p = w->c.p, *end = w->c.end;
    uint32_t x = 0, unit, len;
    theme_status st;
    if (d != NULL && c0 == 0 && c1 == width) {
        /* The whole row is drawn: the common case, kept lean, while the runs are at hand. */
        while (end - p >= 4) {
            unit = le16(p);
            len = unit & RUN_LENGTH;
            if ((unit & RUN_ZERO) != 0 || len - 1u >= width - x) {
                return THEME_E_STREAM;
            }
            if ((unit & RUN_REPEAT) != 0) {
                const uint16_t v = load_pixel(p + 2, w->reverse);
                if (v != w->key) {
                    fill_pixels(d + x, v, len);
                }
                p += 4;
            } else if (2u * len < (uint32_t)(end - p) - 1u) {
                put_pixels(d + x, p + 2, len, w->reverse, w->key);
                p += 2u + 2u * len;
            } else {
                break;
            }
            x += len;
            if (unit >> RUN_ENDS_SHIFT != (x == width ? ends : 0u)) {
                return THEME_E_STREAM;
            }
            if (x == width) {
                w->c.p = p;
                return THEME_OK;
            }
        }
    }
    do {
        if (end - p < 4) {
            w->c.p = p;
            if ((st = cursor_fill(&w->c, 4)) != THEME_OK) {
                return st;
            }
            p = w->c.p, end = w->c.end;
        }
        unit = le16(p);
        len = unit & RUN_LENGTH;
        if ((unit & RUN_ZERO) != 0 || len - 1u >= width - x) {
            return THEME_E_STREAM;
        }
        if ((unit & RUN_REPEAT) != 0) {
            const uint32_t from = x > c0 ? x : c0, to = x + len < c1 ? x + len : c1;
            const uint16_t v = load_pixel(p + 2, w->reverse);
            if (from < to && v != w->key) {
                fill_pixels(d + (from - c0), v, to - from);
            }
            p += 4;
        } else if (x >= c0 && x + len <= c1 && 2u * len < (uint32_t)(end - p) - 1u) {
            put_pixels(d + (x - c0), p + 2, len, w->reverse, w->key);
            p += 2u + 2u * len;
        } else if (2u * len >= (uint32_t)(end - p) - 1u || (x < c1 && x + len > c0)) {
            /* Cut by the clip, or past the bytes at hand (the _io path or the end of the bytes). */
            w->c.p = p + 2;
            if ((st = pass_pixels(w, d, x, len)) != THEME_OK) {
                return st;
            }
            p = w->c.p, end = w->c.end;
        } else {
            p += 2u + 2u * len;
        }
        x += len;
        if (unit >> RUN_ENDS_SHIFT != (x == width ? ends : 0u)) {
            return THEME_E_STREAM;
        }
    } while (x != width);
    w->c.p = p;
    return THEME_OK;
}

/* Passes rows from w->row to r1. */
static theme_status walk_rows(walk* w) {
    const uint32_t h = (uint32_t)w->im->height;
    theme_status st = THEME_OK;
    for (; w->row < w->r1 && st == THEME_OK; ++w->row) {
        uint16_t* d = w->row < w->r0 ? NULL : w->fb;
        if (w->im->rle) {
            st = rle_row(w, d, RUN_ROW_END | (w->row + 1u == h ? RUN_IMAGE_END : 0u));
        } else {
            st = pass_pixels(w, d, 0, (uint32_t)w->im->width);
        }
        if (d != NULL) {
            w->fb += w->stride;
        }
    }
    return st;
}

/* ---- Sources ---- */

static theme_status source_io(theme_source* s, theme_read_fn read, void* ctx, uint8_t* window,
                              uint32_t window_size) {
    s->read = read;
    s->ctx = ctx;
    s->window = window;
    s->window_size = window_size;
    return read == NULL || window == NULL || window_size < THEME_MIN_WINDOW ? THEME_E_ARGUMENT
                                                                            : THEME_OK;
}

/* ---- Index ---- */

/* Opened: a failed open leaves a size of 0, and an Index.bin holds at least its header. */
static int index_ready(const theme_index* ix) {
    return ix != NULL && ix->src.size != 0;
}

typedef struct {
    uint32_t entries; /* offset of its first image entry */
    uint32_t count;
    uint32_t data; /* dataOffset */
    int named;     /* its name is the one asked for */
} group_info;

/* Reads group g's directory entry and header; its block must lie before the end marker. */
static theme_status read_group(const theme_index* ix, cursor* c, uint32_t g, const char* name,
                               group_info* gi) {
    const uint32_t limit = ix->src.size - END_MARKER_SIZE;
    theme_status st;
    cursor_seek(c, ix->directory + g * DIRECTORY_ENTRY_SIZE);
    if ((st = cursor_fill(c, DIRECTORY_ENTRY_SIZE)) != THEME_OK) {
        return st;
    }
    gi->named = name != NULL && field_is(c->p, GROUP_NAME_WIDTH, name);
    gi->entries = le32(c->p + GROUP_NAME_WIDTH + 1);
    if (gi->entries < HEADER_SIZE || gi->entries > limit - GROUP_HEADER_SIZE) {
        return THEME_E_INDEX;
    }
    cursor_seek(c, gi->entries);
    if ((st = cursor_fill(c, GROUP_HEADER_SIZE)) != THEME_OK) {
        return st;
    }
    gi->count = le32(c->p);
    gi->data = le32(c->p + 4);
    gi->entries += GROUP_HEADER_SIZE;
    return (uint64_t)gi->count * IMAGE_ENTRY_SIZE > limit - gi->entries ? THEME_E_INDEX : THEME_OK;
}

static theme_status entry_at(cursor* c, const group_info* gi, uint32_t k, theme_slot* slot) {
    theme_status st;
    uint64_t offset;
    cursor_seek(c, gi->entries + k * IMAGE_ENTRY_SIZE);
    if ((st = cursor_fill(c, IMAGE_ENTRY_SIZE)) != THEME_OK) {
        return st;
    }
    offset = (uint64_t)gi->data + le32(c->p + ENTRY_SLOT_OFFSET);
    if (offset > 0xFFFFFFFFu) {
        return THEME_E_INDEX;
    }
    slot->offset = (uint32_t)offset;
    slot->size = le32(c->p + ENTRY_SLOT_OFFSET + 4);
    return THEME_OK;
}

static theme_status index_scan(theme_index* ix) {
    const uint32_t size = ix->src.size;
    uint64_t total = 0;
    uint32_t g;
    group_info gi;
    cursor c;
    theme_status st;
    if (size < HEADER_SIZE + END_MARKER_SIZE) {
        return THEME_E_INDEX;
    }
    cursor_open(&c, &ix->src, size - END_MARKER_SIZE);
    if ((st = cursor_fill(&c, END_MARKER_SIZE)) != THEME_OK) {
        return st;
    }
    if (!same_bytes(c.p, "EndOfIndex", END_MARKER_SIZE)) {
        return THEME_E_INDEX;
    }
    cursor_seek(&c, 0);
    if ((st = cursor_fill(&c, HEADER_SIZE)) != THEME_OK) {
        return st;
    }
    /* The tag, its terminator and the zero byte after it. */
    if (!same_bytes(c.p, "Index\0", 7)) {
        return THEME_E_INDEX;
    }
    ix->group_count = le32(c.p + 8);
    ix->directory = le32(c.p + 12);
    if (ix->directory < HEADER_SIZE || ix->directory > size - END_MARKER_SIZE ||
        (uint64_t)ix->group_count * DIRECTORY_ENTRY_SIZE > size - END_MARKER_SIZE - ix->directory) {
        return THEME_E_INDEX;
    }
    for (g = 0; g < ix->group_count; ++g) {
        if ((st = read_group(ix, &c, g, NULL, &gi)) != THEME_OK) {
            return st;
        }
        total += gi.count;
    }
    ix->image_count = (uint32_t)total;
    return total > 0xFFFFFFFFu ? THEME_E_INDEX : THEME_OK;
}

/* A failed open leaves an index of no image. */
static theme_status index_opened(theme_index* ix, theme_status st) {
    if (st == THEME_OK) {
        st = index_scan(ix);
    }
    if (st != THEME_OK) {
        memset(ix, 0, sizeof *ix);
    }
    return st;
}

theme_status theme_index_open(theme_index* index, const void* bytes, uint32_t size) {
    if (index == NULL) {
        return THEME_E_ARGUMENT;
    }
    memset(index, 0, sizeof *index);
    index->src.bytes = (const uint8_t*)bytes;
    index->src.size = size;
    return index_opened(index, bytes == NULL ? THEME_E_ARGUMENT : THEME_OK);
}

theme_status theme_index_open_io(theme_index* index, theme_read_fn read, void* ctx, uint32_t size,
                                 uint8_t* window, uint32_t window_size) {
    if (index == NULL) {
        return THEME_E_ARGUMENT;
    }
    memset(index, 0, sizeof *index);
    index->src.size = size;
    return index_opened(index, source_io(&index->src, read, ctx, window, window_size));
}

uint32_t theme_index_count(const theme_index* index) {
    return index != NULL ? index->image_count : 0;
}

/* The slot of the first image called name in a group called group; with no group, of image
 * ordinal. */
static theme_status index_lookup(const theme_index* index, const char* group, const char* name,
                                 uint32_t ordinal, theme_slot* slot) {
    group_info gi;
    cursor c;
    uint32_t g, k;
    theme_status st;
    cursor_open(&c, &index->src, 0);
    for (g = 0; g < index->group_count; ++g) {
        if ((st = read_group(index, &c, g, group, &gi)) != THEME_OK) {
            return st;
        }
        if (group == NULL && ordinal < gi.count) {
            return entry_at(&c, &gi, ordinal, slot);
        }
        ordinal -= gi.count;
        for (k = 0; gi.named && k < gi.count; ++k) {
            cursor_seek(&c, gi.entries + k * IMAGE_ENTRY_SIZE);
            if ((st = cursor_fill(&c, IMAGE_ENTRY_SIZE)) != THEME_OK) {
                return st;
            }
            if (field_is(c.p, IMAGE_NAME_WIDTH, name)) {
                return entry_at(&c, &gi, k, slot);
            }
        }
    }
    return THEME_E_NOT_FOUND;
}

theme_status theme_index_find(const theme_index* index, const char* group, const char* name,
                              theme_slot* slot) {
    return !index_ready(index) || group == NULL || name == NULL || slot == NULL
               ? THEME_E_ARGUMENT
               : index_lookup(index, group, name, 0, slot);
}

theme_status theme_index_slot(const theme_index* index, uint32_t ordinal, theme_slot* slot) {
    return !index_ready(index) || slot == NULL ? THEME_E_ARGUMENT
                                               : index_lookup(index, NULL, NULL, ordinal, slot);
}

/* CRC-32 (reflected 0xEDB88320, as zlib's) of the n bytes at p, a bit a step: once at start-up,
 * in little code. Start with 0xFFFFFFFF and invert the end. */
static uint32_t crc_update(uint32_t crc, const uint8_t* p, uint32_t n) {
    uint32_t k;
    for (; n > 0; --n, ++p) {
        crc ^= *p;
        for (k = 0; k < 8; ++k) {
            crc = crc >> 1 ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return crc;
}

theme_status theme_index_verify(const theme_index* index, uint32_t size, uint32_t crc32) {
    uint32_t crc = 0xFFFFFFFFu;
    cursor c;
    theme_status st;
    if (!index_ready(index)) {
        return THEME_E_ARGUMENT;
    }
    if (index->src.size != size) {
        return THEME_E_INDEX;
    }
    cursor_open(&c, &index->src, 0);
    while (cursor_pos(&c) < size) {
        if ((st = cursor_fill(&c, 1)) != THEME_OK) {
            return st;
        }
        crc = crc_update(crc, c.p, (uint32_t)(c.end - c.p));
        c.p = c.end;
    }
    return ~crc == crc32 ? THEME_OK : THEME_E_INDEX;
}

/* The name fields as stored, in index order: each group's, then each of its images'. */
theme_status theme_index_check_ids(const theme_index* index, uint32_t ids_crc32) {
    uint32_t crc = 0xFFFFFFFFu, g, k;
    group_info gi;
    cursor c;
    theme_status st;
    if (!index_ready(index)) {
        return THEME_E_ARGUMENT;
    }
    cursor_open(&c, &index->src, 0);
    for (g = 0; g < index->group_count; ++g) {
        cursor_seek(&c, index->directory + g * DIRECTORY_ENTRY_SIZE);
        if ((st = cursor_fill(&c, GROUP_NAME_WIDTH)) != THEME_OK) {
            return st;
        }
        crc = crc_update(crc, c.p, GROUP_NAME_WIDTH);
        if ((st = read_group(index, &c, g, NULL, &gi)) != THEME_OK) {
            return st;
        }
        for (k = 0; k < gi.count; ++k) {
            cursor_seek(&c, gi.entries + k * IMAGE_ENTRY_SIZE);
            if ((st = cursor_fill(&c, IMAGE_NAME_WIDTH)) != THEME_OK) {
                return st;
            }
            crc = crc_update(crc, c.p, IMAGE_NAME_WIDTH);
        }
    }
    return ~crc == ids_crc32 ? THEME_OK : THEME_E_INDEX;
}

/* ---- Images ---- */

/* Opened: a failed open leaves a width of 0. */
static int image_ready(const theme_image* im) {
    return im != NULL && im->width > 0;
}

static theme_status image_scan(theme_image* im) {
    uint64_t w, h, need;
    uint32_t magic;
    cursor c;
    theme_status st;
    if (im->src.size < HEADER_SIZE) {
        return THEME_E_IMAGE;
    }
    cursor_open(&c, &im->src, 0);
    if ((st = cursor_fill(&c, HEADER_SIZE)) != THEME_OK) {
        return st;
    }
    magic = le32(c.p);
    im->width = (int32_t)le32(c.p + 4);
    im->height = (int32_t)le32(c.p + 8);
    if ((magic != MAGIC_PRI0 && magic != MAGIC_RLE4) || le32(c.p + 12) != 16 || im->width < 1 ||
        im->height < 1) {
        return THEME_E_IMAGE;
    }
    im->rle = magic == MAGIC_RLE4;
    w = (uint64_t)im->width;
    h = (uint64_t)im->height;
    /* An RLE4 row takes at least one run of a control unit and a pixel per 4095 pixels. */
    need = im->rle ? h * 4u * (((uint32_t)w + RUN_MAX - 1) / RUN_MAX) : 2u * w * h;
    return need > im->src.size - HEADER_SIZE ? THEME_E_IMAGE : THEME_OK;
}

/* A failed open leaves an image of no pixels. */
static theme_status image_opened(theme_image* im, uint32_t theme_size, theme_slot slot,
                                 const void* theme_bytes, theme_status st) {
    if (st == THEME_OK && (uint64_t)slot.offset + slot.size > theme_size) {
        st = THEME_E_SLOT;
    }
    if (st == THEME_OK) {
        im->src.bytes = theme_bytes != NULL ? (const uint8_t*)theme_bytes + slot.offset : NULL;
        im->src.base = slot.offset;
        im->src.size = slot.size;
        st = image_scan(im);
    }
    if (st != THEME_OK) {
        memset(im, 0, sizeof *im);
    }
    return st;
}

theme_status theme_image_open(theme_image* image, const void* theme_bytes, uint32_t theme_size,
                              theme_slot slot) {
    if (image == NULL) {
        return THEME_E_ARGUMENT;
    }
    memset(image, 0, sizeof *image);
    return image_opened(image, theme_size, slot, theme_bytes,
                        theme_bytes == NULL ? THEME_E_ARGUMENT : THEME_OK);
}

theme_status theme_image_open_io(theme_image* image, theme_read_fn read, void* ctx,
                                 uint32_t theme_size, theme_slot slot, uint8_t* window,
                                 uint32_t window_size) {
    if (image == NULL) {
        return THEME_E_ARGUMENT;
    }
    memset(image, 0, sizeof *image);
    return image_opened(image, theme_size, slot, NULL,
                        source_io(&image->src, read, ctx, window, window_size));
}

int32_t theme_image_width(const theme_image* image) {
    return image != NULL ? image->width : 0;
}

int32_t theme_image_height(const theme_image* image) {
    return image != NULL ? image->height : 0;
}

/* Flags of draws and rows: the key's bits only with THEME_KEYED. */
static int flags_valid(uint32_t flags) {
    const uint32_t key_bits = (flags & THEME_KEYED) != 0 ? 0xFFFF0000u : 0u;
    return (flags & ~(THEME_SWAP_BYTES | THEME_KEYED | key_bits)) == 0;
}

/* A walk over image from row 0 that writes nothing; theme_draw and the row functions say more.
 * The key is compared with pixels as they go out: swapped when they are. */
static void walk_open(walk* w, const theme_image* image, uint32_t pos, uint32_t flags) {
    const uint32_t key = flags >> 16;
    memset(w, 0, sizeof *w);
    cursor_open(&w->c, &image->src, pos);
    w->im = image;
    w->reverse = reversed(flags);
    w->key = (flags & THEME_KEYED) == 0   ? 0x10000u
             : (flags & THEME_SWAP_BYTES) ? ((key & 0xFFu) << 8 | key >> 8)
                                          : key;
}

theme_status theme_image_check(const theme_image* image) {
    walk w;
    if (!image_ready(image)) {
        return THEME_E_ARGUMENT;
    }
    walk_open(&w, image, HEADER_SIZE, 0);
    w.r0 = w.r1 = (uint32_t)image->height;
    return walk_rows(&w);
}

/* Where [pos, pos + size) meets [clip, clip + clip_size), in [0, size): false when nowhere. */
static int clip_span(int32_t pos, int32_t size, int32_t clip, int32_t clip_size, uint32_t* from,
                     uint32_t* to) {
    const int64_t low = pos > clip ? pos : clip;
    const int64_t high = (int64_t)pos + size < (int64_t)clip + clip_size
                             ? (int64_t)pos + size
                             : (int64_t)clip + clip_size;
    *from = (uint32_t)(low - pos);
    *to = (uint32_t)(high - pos);
    return low < high;
}

theme_status theme_draw(const theme_image* image, uint16_t* framebuffer, uint32_t stride_px,
                        theme_rect clip, int32_t x, int32_t y, uint32_t flags) {
    uint32_t c0, c1, r0, r1;
    walk w;
    if (!image_ready(image) || framebuffer == NULL || !flags_valid(flags) || clip.x < 0 ||
        clip.y < 0 || clip.w < 0 || clip.h < 0 || (uint64_t)clip.x + (uint64_t)clip.w > stride_px) {
        return THEME_E_ARGUMENT;
    }
    if (!clip_span(x, image->width, clip.x, clip.w, &c0, &c1) ||
        !clip_span(y, image->height, clip.y, clip.h, &r0, &r1)) {
        return THEME_OK;
    }
    walk_open(&w, image, HEADER_SIZE, flags);
    /* The first pixel written lies inside the clip, so at a place of 0 or more. */
    w.fb =
        framebuffer + (size_t)(uint32_t)((int64_t)y + r0) * stride_px + (uint32_t)((int64_t)x + c0);
    w.stride = stride_px;
    w.c0 = c0;
    w.c1 = c1;
    w.r0 = r0;
    w.r1 = r1;
    return walk_rows(&w);
}

theme_status theme_rows_begin(theme_rows* rows, const theme_image* image, uint32_t flags) {
    if (rows == NULL || !image_ready(image) || !flags_valid(flags)) {
        return THEME_E_ARGUMENT;
    }
    rows->image = image;
    rows->pos = HEADER_SIZE;
    rows->row = 0;
    rows->flags = flags;
    rows->status = THEME_OK;
    return THEME_OK;
}

/* Passes the next row, writing its pixels [c0, c1) to line. */
static theme_status rows_step(theme_rows* rows, uint16_t* line, uint32_t c0, uint32_t c1) {
    walk w;
    if (rows->status == THEME_OK) {
        walk_open(&w, rows->image, rows->pos, rows->flags);
        w.row = w.r0 = (uint32_t)rows->row;
        w.r1 = w.row + 1u;
        w.fb = line;
        w.c0 = c0;
        w.c1 = c1;
        rows->status = walk_rows(&w);
        rows->pos = cursor_pos(&w.c);
        rows->row++;
    }
    return rows->status;
}

theme_status theme_rows_next(theme_rows* rows, uint16_t* line, int32_t x0, int32_t width) {
    if (rows == NULL || rows->image == NULL || rows->row >= rows->image->height || x0 < 0 ||
        width < 0 || (int64_t)x0 + width > rows->image->width || (line == NULL && width > 0)) {
        return THEME_E_ARGUMENT;
    }
    return rows_step(rows, line, (uint32_t)x0, (uint32_t)x0 + (uint32_t)width);
}

theme_status theme_rows_skip(theme_rows* rows, int32_t count) {
    if (rows == NULL || rows->image == NULL || count < 0 ||
        count > rows->image->height - rows->row) {
        return THEME_E_ARGUMENT;
    }
    for (; count > 0 && rows_step(rows, NULL, 0, 0) == THEME_OK; --count) {
    }
    return rows->status;
}

const char* theme_status_text(theme_status status) {
    static const char* const texts[] = {"ok",        "bad argument",       "bad index",
                                        "not found", "slot outside theme", "not a 16-bit image",
                                        "bad runs",  "read failed"};
    return (unsigned)status < sizeof texts / sizeof texts[0] ? texts[status] : "unknown status";
}
