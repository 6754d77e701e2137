/* SPDX-License-Identifier: MIT. Copyright (c) 2026 The theme-packager developers. */
/*
 * The device reader (see theme_reader.h). One cursor serves both kinds of storage: memory-mapped
 * bytes are all at hand from the start, so the refill that the _io path needs is only reached
 * there at the end of the bytes, where it reports the end; the pixel loops are the same for both.
 */
#include "theme_reader.h"

#include <stddef.h>
#include <string.h>

/* The pixel loops and what a row takes, inlined where they are used but in a build for size. */
#if defined(__GNUC__) && !defined(__OPTIMIZE_SIZE__)
#define HOT static inline __attribute__((always_inline))
#else
#define HOT static
#endif
/* The lean way for whole rows (rle_rows_whole, a copy for each kind of draw): left out of a build
 * for size, where every row goes the careful way, which gives the same pixels and statuses. */
#ifdef __OPTIMIZE_SIZE__
#define LEAN 0
#else
#define LEAN 1
#endif
/* Called from more than one place and seldom: once in the code, also where it would be inlined,
 * and with the arguments it declares (gcc would otherwise pass some fields of a struct instead). */
#if defined(__GNUC__) && !defined(__clang__)
#define ONCE static __attribute__((noinline, noclone))
#elif defined(__GNUC__)
#define ONCE static __attribute__((noinline))
#else
#define ONCE static
#endif

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

typedef struct theme_cursor cursor;

/* Where the _io path keeps what it reads: in the window but its first HEADER_SIZE bytes, which
 * take an image's header when it is opened. So a walk's bytes stay as they are when its image is
 * opened again. */
static uint8_t* window_bytes(const theme_source* s) {
    return s->window + HEADER_SIZE;
}

static const uint8_t* cursor_start(const theme_source* s) {
    return s->bytes != NULL ? s->bytes : window_bytes(s);
}

/* Moves to pos (at most the source's size); the _io path keeps the window when pos is in it. */
static void cursor_seek(cursor* c, uint32_t pos) {
    const uint8_t* start = cursor_start(c->src);
    const uint32_t low = c->next - (uint32_t)(c->end - start);
    if (pos >= low && pos <= c->next) {
        c->p = start + (pos - low);
    } else {
        c->p = c->end = window_bytes(c->src);
        c->next = pos;
    }
}

static void cursor_open(cursor* c, const theme_source* s, uint32_t pos) {
    c->src = s;
    c->p = cursor_start(s);
    c->end = s->bytes != NULL ? s->bytes + s->size : window_bytes(s);
    c->next = s->bytes != NULL ? s->size : 0;
    cursor_seek(c, pos);
}

static uint32_t cursor_pos(const cursor* c) {
    return c->next - (uint32_t)(c->end - c->p);
}

/* Makes need bytes (at most THEME_MIN_WINDOW - HEADER_SIZE) be at hand. */
static theme_status cursor_fill(cursor* c, uint32_t need) {
    const theme_source* s = c->src;
    const uint32_t have = (uint32_t)(c->end - c->p);
    uint8_t* kept;
    uint32_t len;
    if (have >= need) {
        return THEME_OK;
    }
    if (s->size - c->next < need - have) {
        return THEME_E_STREAM;
    }
    /* Only the _io path gets here: keep the bytes at hand, read as much as the window takes. */
    kept = window_bytes(s);
    for (len = 0; len < have; ++len) {
        kept[len] = c->p[len];
    }
    len = s->window_size - HEADER_SIZE - have;
    if (len > s->size - c->next) {
        len = s->size - c->next;
    }
    if (s->read(s->ctx, s->base + c->next, kept + have, len) != 0) {
        return THEME_E_READ;
    }
    c->p = kept;
    c->end = kept + have + len;
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
    c->p = c->end = window_bytes(c->src);
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
/* ARMv7-M (Cortex-M3, M4, M7) where single loads and stores may be unaligned (not with
 * -mno-unaligned-access; multiple ones and strd never may). Under 8 pixels, one jump into
 * straight single stores; from 8 on, d is brought to a 4-byte boundary for strd and stmia. */
#define SHORT_RUNS                                                                                 \
    "0: tbb [pc, %[n]]\n"                                                                          \
    "1: .byte (10f-1b)/2, (11f-1b)/2, (12f-1b)/2, (13f-1b)/2\n"                                    \
    "   .byte (14f-1b)/2, (15f-1b)/2, (16f-1b)/2, (17f-1b)/2\n"

/* n pixels of pair (a pixel in each half): sixteen in four strd. */
HOT uint16_t* fill_pixels(uint16_t* d, uint32_t pair, uint32_t n) {
    uint32_t t;
    __asm__ volatile("   cmp %[n], #8\n"
                     "   bhs 2f\n" SHORT_RUNS "17: strh %[v], [%[d], #12]\n"
                     "16: str %[v], [%[d], #8]\n"
                     "14: str %[v], [%[d], #4]\n"
                     "12: str %[v], [%[d]]\n"
                     "   add %[d], %[d], %[n], lsl #1\n"
                     "   b 10f\n"
                     "15: str %[v], [%[d], #6]\n"
                     "13: str %[v], [%[d], #2]\n"
                     "11: strh %[v], [%[d]]\n"
                     "   add %[d], %[d], %[n], lsl #1\n"
                     "   b 10f\n"
                     "2: tst %[d], #2\n"
                     "   itt ne\n"
                     "   strhne %[v], [%[d]], #2\n"
                     "   subne %[n], %[n], #1\n"
                     "   subs %[n], %[n], #16\n"
                     "   blo 4f\n"
                     "3: strd %[v], %[v], [%[d]], #8\n"
                     "   strd %[v], %[v], [%[d]], #8\n"
                     "   strd %[v], %[v], [%[d]], #8\n"
                     "   strd %[v], %[v], [%[d]], #8\n"
                     "   subs %[n], %[n], #16\n"
                     "   bhs 3b\n"
                     "4: lsls %[t], %[n], #29\n"
                     "   itt cs\n"
                     "   strdcs %[v], %[v], [%[d]], #8\n"
                     "   strdcs %[v], %[v], [%[d]], #8\n"
                     "   and %[n], %[n], #7\n"
                     "   b 0b\n"
                     "10:\n"
                     : [d] "+r"(d), [n] "+r"(n), [t] "=&r"(t)
                     : [v] "r"(pair)
                     : "cc", "memory");
    return d;
}

/* n pixels from s: eight in two instructions when s and d are both on a 4-byte boundary, else in
 * five (four single loads, one multiple store). */
HOT uint16_t* copy_pixels(uint16_t* d, const uint8_t* s, uint32_t n) {
    uint32_t t;
    __asm__ volatile("   cmp %[n], #8\n"
                     "   bhs 2f\n" SHORT_RUNS "17: ldrh %[t], [%[s], #12]\n"
                     "   strh %[t], [%[d], #12]\n"
                     "16: ldr %[t], [%[s], #8]\n"
                     "   str %[t], [%[d], #8]\n"
                     "14: ldr %[t], [%[s], #4]\n"
                     "   str %[t], [%[d], #4]\n"
                     "12: ldr %[t], [%[s]]\n"
                     "   str %[t], [%[d]]\n"
                     "   add %[d], %[d], %[n], lsl #1\n"
                     "   b 10f\n"
                     "15: ldr %[t], [%[s], #6]\n"
                     "   str %[t], [%[d], #6]\n"
                     "13: ldr %[t], [%[s], #2]\n"
                     "   str %[t], [%[d], #2]\n"
                     "11: ldrh %[t], [%[s]]\n"
                     "   strh %[t], [%[d]]\n"
                     "   add %[d], %[d], %[n], lsl #1\n"
                     "   b 10f\n"
                     "2: tst %[d], #2\n"
                     "   ittt ne\n"
                     "   ldrhne %[t], [%[s]], #2\n"
                     "   strhne %[t], [%[d]], #2\n"
                     "   subne %[n], %[n], #1\n"
                     "   subs %[n], %[n], #8\n"
                     "   blo 5f\n"
                     "   tst %[s], #2\n"
                     "   bne 4f\n"
                     "3: ldmia %[s]!, {r4, r5, r6, r7}\n"
                     "   stmia %[d]!, {r4, r5, r6, r7}\n"
                     "   subs %[n], %[n], #8\n"
                     "   bhs 3b\n"
                     "   b 5f\n"
                     "4: ldr r4, [%[s]], #4\n"
                     "   ldr r5, [%[s]], #4\n"
                     "   ldr r6, [%[s]], #4\n"
                     "   ldr r7, [%[s]], #4\n"
                     "   stmia %[d]!, {r4, r5, r6, r7}\n"
                     "   subs %[n], %[n], #8\n"
                     "   bhs 4b\n"
                     "5: and %[n], %[n], #7\n"
                     "   b 0b\n"
                     "10:\n"
                     : [d] "+r"(d), [s] "+r"(s), [n] "+r"(n), [t] "=&r"(t)
                     :
                     : "r4", "r5", "r6", "r7", "cc", "memory");
    return d;
}

/* blocks times eight pixels from s, each one's bytes swapped, to d on a 4-byte boundary: four
 * single loads, four rev16 and one multiple store. */
HOT uint16_t* swap_blocks(uint16_t* d, const uint8_t* s, uint32_t blocks) {
    __asm__ volatile("1: ldr r4, [%[s]], #4\n"
                     "   ldr r5, [%[s]], #4\n"
                     "   ldr r6, [%[s]], #4\n"
                     "   ldr r7, [%[s]], #4\n"
                     "   rev16 r4, r4\n"
                     "   rev16 r5, r5\n"
                     "   rev16 r6, r6\n"
                     "   rev16 r7, r7\n"
                     "   stmia %[d]!, {r4, r5, r6, r7}\n"
                     "   subs %[n], %[n], #1\n"
                     "   bne 1b\n"
                     : [d] "+r"(d), [s] "+r"(s), [n] "+r"(blocks)
                     :
                     : "r4", "r5", "r6", "r7", "cc", "memory");
    return d;
}
#define SWAP_BLOCKS 1
#else
/* n pixels of pair: two a store from a 4-byte boundary of d on. */
HOT uint16_t* fill_pixels(uint16_t* d, uint32_t pair, uint32_t n) {
    if (((uintptr_t)d & 2u) != 0 && n != 0) {
        *d++ = (uint16_t)pair;
        --n;
    }
    for (; n >= 2; n -= 2, d += 2) {
        memcpy(d, &pair, 4);
    }
    if (n != 0) {
        *d++ = (uint16_t)pair;
    }
    return d;
}

HOT uint16_t* copy_pixels(uint16_t* d, const uint8_t* s, uint32_t n) {
    memcpy(d, s, 2u * n);
    return d + n;
}
#endif

/* n pixels from s but those equal to key, compared two at a time: a half of w ^ (key, key) is
 * zero exactly at a key pixel. */
HOT void put_keyed(uint16_t* d, const uint8_t* s, uint32_t n, uint32_t key) {
    const uint32_t keys = key * 0x10001u;
    uint32_t w, i;
    for (i = 0; i + 2 <= n; i += 2) {
        memcpy(&w, s + 2 * i, 4);
        if ((((w ^ keys) - 0x00010001u) & ~(w ^ keys) & 0x80008000u) == 0) {
            memcpy(d + i, &w, 4);
        } else {
            if (load_pixel(s + 2 * i, 0) != key) {
                memcpy(d + i, s + 2 * i, 2);
            }
            if (load_pixel(s + 2 * i + 2, 0) != key) {
                memcpy(d + i + 1, s + 2 * i + 2, 2);
            }
        }
    }
    if (i < n && load_pixel(s + 2 * i, 0) != key) {
        memcpy(d + i, s + 2 * i, 2);
    }
}

/* n pixels from s, each one's bytes swapped, but those equal to key as they go out (none above
 * 0xFFFF); without a key two at a time. */
HOT void put_swapped(uint16_t* d, const uint8_t* s, uint32_t n, uint32_t key) {
    uint32_t w, i = 0;
#ifdef SWAP_BLOCKS
    if (key > 0xFFFFu && n >= 16) {
        if (((uintptr_t)d & 2u) != 0) {
            *d++ = load_pixel(s, 1);
            s += 2;
            --n;
        }
        swap_blocks(d, s, n / 8u);
        i = n & ~7u;
    }
#endif
    for (; key > 0xFFFFu && i + 2 <= n; i += 2) {
        memcpy(&w, s + 2 * i, 4);
#if defined(__GNUC__)
        w = __builtin_bswap32(w); /* one instruction, and one to rotate */
        w = w >> 16 | w << 16;
#else
        w = (w << 8 & 0xFF00FF00u) | (w >> 8 & 0x00FF00FFu);
#endif
        memcpy(d + i, &w, 4);
    }
    for (; i < n; ++i) {
        const uint16_t v = load_pixel(s + 2 * i, 1);
        if (v != key) {
            d[i] = v;
        }
    }
}

/* n pixels from s to d, swapped when reverse, but those equal to key as they go out (none above
 * 0xFFFF); d advanced past them. */
HOT uint16_t* put_run(uint16_t* d, const uint8_t* s, uint32_t n, unsigned reverse, uint32_t key) {
    if (reverse) {
        put_swapped(d, s, n, key);
    } else if (key > 0xFFFFu) {
        return copy_pixels(d, s, n);
    } else {
        put_keyed(d, s, n, key);
    }
    return d + n;
}

/* ---- Rows ---- */

/* A pass over an image's rows (see theme_reader.h). */
typedef struct theme_walk walk;

/* Flags of draws and rows: the key's bits only with THEME_KEYED. */
static int flags_valid(uint32_t flags) {
    const uint32_t key_bits = (flags & THEME_KEYED) != 0 ? 0xFFFF0000u : 0u;
    return (flags & ~(THEME_SWAP_BYTES | THEME_KEYED | key_bits)) == 0;
}

/* put_run for the careful way, as the walk's pixels go out: one copy of it in the code. */
ONCE void put_pixels(const walk* w, uint16_t* d, const uint8_t* s, uint32_t n) {
    put_run(d, s, n, w->reverse, w->key);
}

/* A walk over image from its first row. The key is compared with pixels as they go out: swapped
 * when they are. */
static void walk_open(walk* w, const theme_image* image, uint32_t flags) {
    const theme_source* s = &image->src;
    const uint32_t key = flags >> 16;
    w->c.src = s;
    w->c.p = s->bytes != NULL ? s->bytes + HEADER_SIZE : window_bytes(s);
    w->c.end = s->bytes != NULL ? s->bytes + s->size : window_bytes(s);
    w->c.next = s->bytes != NULL ? s->size : HEADER_SIZE;
    w->image = image;
    w->row = 0;
    w->reverse = reversed(flags);
    w->key = (flags & THEME_KEYED) == 0   ? 0x10000u
             : (flags & THEME_SWAP_BYTES) ? ((key & 0xFFu) << 8 | key >> 8)
                                          : key;
}

/* The next row the careful way, its columns [a, b) put to d: any clip, any flags, the bytes
 * refilled as they are needed (the _io path). An RLE4 row by its control units, every run of
 * which takes 4 bytes or more, so that many are at hand before one is read; a PRI0 row as one
 * literal run of its width. A literal run that is not all at hand is passed and put as its bytes
 * come: when they end first, the pixels that were there stay drawn. */
HOT theme_status careful_row(walk* w, uint16_t* d, uint32_t a, uint32_t b) {
    const uint32_t width = (uint32_t)w->image->width;
    uint32_t x = 0, unit = 0, len = width, from, to, count, rest, have;
    uint16_t* at;
    theme_status st;
    if (!w->image->rle) {
        goto run; /* a PRI0 row: one literal run of its width, and no control unit */
    }
    do {
        if (w->c.end - w->c.p < 4 && (st = cursor_fill(&w->c, 4)) != THEME_OK) {
            return st;
        }
        unit = le16(w->c.p);
        len = unit & RUN_LENGTH;
        if ((unit & RUN_ZERO) != 0 || len - 1u >= width - x) {
            return THEME_E_STREAM;
        }
        w->c.p += 2;
    run:
        from = x > a ? x : a;
        to = x + len < b ? x + len : b;
        if ((unit & RUN_REPEAT) != 0) {
            const uint16_t v = load_pixel(w->c.p, w->reverse);
            if (from < to && v != w->key) {
                fill_pixels(d + (from - a), v * 0x10001u, to - from);
            }
            w->c.p += 2;
        } else if (2u * len <= (uint32_t)(w->c.end - w->c.p)) {
            if (from < to) { /* the run at hand */
                put_pixels(w, d + (from - a), w->c.p + 2u * (from - x), to - from);
            }
            w->c.p += 2u * len;
        } else {
            count = from < to ? to - from : 0;
            from = from < to ? from - x : len; /* the pixels passed before those put */
            rest = len - from - count;
            /* d is NULL when nothing is put (count 0): no place of it is taken then. */
            at = count != 0 ? d + (x + from - a) : d;
            if ((st = cursor_skip(&w->c, 2u * from)) != THEME_OK) {
                return st;
            }
            while (count != 0) {
                have = (uint32_t)(w->c.end - w->c.p) / 2u;
                if (have == 0) {
                    if ((st = cursor_fill(&w->c, 2)) != THEME_OK) {
                        return st;
                    }
                    continue;
                }
                have = have < count ? have : count;
                put_pixels(w, at, w->c.p, have);
                at += have;
                w->c.p += 2u * have;
                count -= have;
            }
            if ((st = cursor_skip(&w->c, 2u * rest)) != THEME_OK) {
                return st;
            }
        }
        x += len;
        if (x != width && unit >> RUN_ENDS_SHIFT != 0) {
            return THEME_E_STREAM;
        }
    } while (x != width);
    /* A row end, and an image end at the last row. */
    if (w->image->rle &&
        unit >> RUN_ENDS_SHIFT !=
            (RUN_ROW_END | (w->row + 1u == (uint32_t)w->image->height ? RUN_IMAGE_END : 0))) {
        return THEME_E_STREAM;
    }
    ++w->row;
    return THEME_OK;
}

/* Whole rows of an RLE4 image of at most RUN_MAX pixels a row from w->row on, up to r (not the
 * last row), put to d (swapped when reverse) but those of value key (passed when not draw),
 * each next row stride pixels on: the common case, with its state in locals. Unchecked, while a
 * row's bytes are surely at hand (4 a pixel, the most a row can take, and the next control unit):
 * then a run is checked once, that its length fits the row (bit 12, which must be zero, makes any
 * length too long; a row that ends without its row end meets a length that cannot fit the next).
 * Checked, for the last rows of memory-mapped bytes: a run's bytes against their end too, where
 * it ends as the careful way ends. */
HOT theme_status rle_rows_whole(walk* w, uint16_t* d, uint32_t stride, uint32_t r, uint32_t key,
                                unsigned reverse, int draw, int checked) {
    const uint32_t width = (uint32_t)w->image->width, need = 4u * width + 2u;
    const uint8_t *p = w->c.p, *const end = w->c.end, *last;
    uint16_t* at = d;
    uint32_t rows = r - w->row, rem, unit, len;
    if (rows == 0 || (!checked && (uint32_t)(end - p) < need)) {
        return THEME_OK;
    }
    last = checked ? end : end - need; /* where the last row that is surely at hand may start */
    do {
        rem = width;
        do {
            if (checked && (uint32_t)(end - p) < 4u) {
                return THEME_E_STREAM; /* every run takes 4 bytes or more */
            }
            unit = le16(p);
            len = unit & (RUN_ZERO | RUN_LENGTH);
            if (len - 1u >= rem) {
                return THEME_E_STREAM;
            }
            rem -= len;
            if ((unit & RUN_REPEAT) != 0) {
                const uint32_t v = load_pixel(p + 2, reverse);
                p += 4;
                at = !draw ? at : v != key ? fill_pixels(at, v * 0x10001u, len) : at + len;
            } else {
                const uint8_t* s = p + 2;
                if (checked && 2u * len > (uint32_t)(end - s)) {
                    if (draw) { /* the pixels that are there */
                        put_run(at, s, (uint32_t)(end - s) / 2u, reverse, key);
                    }
                    return THEME_E_STREAM;
                }
                p = s + 2u * len;
                at = draw ? put_run(at, s, len, reverse, key) : at;
            }
        } while (unit >> RUN_ENDS_SHIFT == 0);
        if ((unit >> RUN_ENDS_SHIFT | rem << 2) != RUN_ROW_END) { /* a row end, and no more */
            return THEME_E_STREAM;
        }
        if (draw) { /* a whole row drawn leaves at at its end */
            at = at - width + stride;
        }
    } while (--rows != 0 && p <= last);
    w->c.p = p;
    w->row = r - rows;
    return THEME_OK;
}

/* The lean way for rows up to r (see rle_rows_whole): unchecked, then, for memory-mapped bytes,
 * checked. */
HOT theme_status rle_rows_lean(walk* w, uint16_t* d, uint32_t stride, uint32_t r, uint32_t key,
                               unsigned reverse, int draw) {
    const uint32_t from = w->row;
    theme_status st = rle_rows_whole(w, d, stride, r, key, reverse, draw, 0);
    return st == THEME_OK && w->image->src.bytes != NULL
               ? rle_rows_whole(w, draw ? d + (size_t)(w->row - from) * stride : d, stride, r, key,
                                reverse, draw, 1)
               : st;
}

/* The lean way passing rows, drawing them, drawing them keyed and drawing them swapped: each in a
 * frame of its own, off the careful way's, and each with its own loops. */
ONCE theme_status lean_pass(walk* w, uint32_t r) {
    return rle_rows_lean(w, NULL, 0, r, 0x10000u, 0, 0);
}

ONCE theme_status lean_draw(walk* w, uint16_t* d, uint32_t stride, uint32_t r) {
    return rle_rows_lean(w, d, stride, r, 0x10000u, 0, 1);
}

ONCE theme_status lean_draw_keyed(walk* w, uint16_t* d, uint32_t stride, uint32_t r) {
    return rle_rows_lean(w, d, stride, r, w->key, 0, 1);
}

ONCE theme_status lean_draw_swapped(walk* w, uint16_t* d, uint32_t stride, uint32_t r) {
    return rle_rows_lean(w, d, stride, r, w->key, 1, 1);
}

/* The careful way for rows up to r (see careful_row), each next row stride pixels on: in a frame
 * of its own, off that of walk_rows, which the lean way's frames come under too, and calling
 * nothing but leaves. */
ONCE theme_status careful_rows(walk* w, uint16_t* d, uint32_t stride, uint32_t a, uint32_t b,
                               uint32_t r) {
    theme_status st = THEME_OK;
    while (w->row < r && st == THEME_OK) {
        st = careful_row(w, d, a, b);
        if (d != NULL) {
            d += stride;
        }
    }
    return st;
}

/* Passes rows up to r, putting their columns [a, b) to d (none when a == b), each next row
 * stride pixels on. Whole rows go the lean way, and the rows it leaves the careful way. */
static theme_status walk_rows(walk* w, uint16_t* d, uint32_t stride, uint32_t a, uint32_t b,
                              uint32_t r) {
    const uint32_t width = (uint32_t)w->image->width, height = (uint32_t)w->image->height;
    const uint32_t lean = r < height ? r : height - 1u;
    theme_status st = THEME_OK;
    if (!LEAN || !w->image->rle || width > RUN_MAX || (d != NULL && (a != 0 || b != width))) {
        return careful_rows(w, d, stride, a, b, r);
    }
    while (w->row < r && st == THEME_OK) {
        const uint32_t from = w->row;
        if (d == NULL) {
            st = lean_pass(w, lean);
        } else if (w->reverse) {
            st = lean_draw_swapped(w, d, stride, lean);
        } else if (w->key > 0xFFFFu) {
            st = lean_draw(w, d, stride, lean);
        } else {
            st = lean_draw_keyed(w, d, stride, lean);
        }
        d = d != NULL ? d + (size_t)(w->row - from) * stride : d; /* past the rows drawn */
        if (st == THEME_OK && w->row < r) {
            st = careful_rows(w, d, stride, 0, b, w->row + 1u); /* a whole row, or none */
            d = d != NULL ? d + stride : d;
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

/* Reads the header alone (through _io into the window's first bytes, which keep nothing else). */
static theme_status image_scan(theme_image* im) {
    const uint8_t* h = im->src.bytes;
    uint64_t w, h64, need;
    uint32_t magic;
    if (im->src.size < HEADER_SIZE) {
        return THEME_E_IMAGE;
    }
    if (h == NULL) {
        if (im->src.read(im->src.ctx, im->src.base, im->src.window, HEADER_SIZE) != 0) {
            return THEME_E_READ;
        }
        h = im->src.window;
    }
    magic = le32(h);
    im->width = (int32_t)le32(h + 4);
    im->height = (int32_t)le32(h + 8);
    if ((magic != MAGIC_PRI0 && magic != MAGIC_RLE4) || le32(h + 12) != 16 || im->width < 1 ||
        im->height < 1) {
        return THEME_E_IMAGE;
    }
    im->rle = magic == MAGIC_RLE4;
    w = (uint64_t)im->width;
    h64 = (uint64_t)im->height;
    /* An RLE4 row takes at least one run of a control unit and a pixel per 4095 pixels. */
    need = im->rle ? h64 * 4u * (((uint32_t)w + RUN_MAX - 1) / RUN_MAX) : 2u * w * h64;
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

theme_status theme_image_check(const theme_image* image) {
    walk w;
    if (!image_ready(image)) {
        return THEME_E_ARGUMENT;
    }
    walk_open(&w, image, 0);
    return walk_rows(&w, NULL, 0, 0, 0, (uint32_t)image->height);
}

/* Where [pos, pos + size) meets [start, start + length) (start, length of 0 or more): its part
 * [span[0], span[1]) of the image, which lies at span[2] in the clip; false when nowhere. */
ONCE int clip_span(int32_t pos, int32_t size, int32_t start, int32_t length, uint32_t* span) {
    const int64_t end = (int64_t)start + length - pos; /* of the clip, from the image's start */
    const int32_t low = pos > start ? pos : start;
    span[0] = (uint32_t)low - (uint32_t)pos;
    span[1] = end < size ? (uint32_t)end : (uint32_t)size;
    span[2] = (uint32_t)low - (uint32_t)start;
    return span[0] < (uint32_t)size && (int64_t)span[0] < end;
}

static int clip_valid(theme_rect clip) {
    return clip.x >= 0 && clip.y >= 0 && clip.w >= 0 && clip.h >= 0;
}

theme_status theme_draw(const theme_image* image, uint16_t* framebuffer, uint32_t stride_px,
                        theme_rect clip, int32_t x, int32_t y, uint32_t flags) {
    union { /* the place is done with before the walk begins: one stack slot for both */
        struct theme_place pl;
        walk w;
    } u;
    uint32_t c0, c1, r0, r1;
    theme_status st;
    if (!image_ready(image) || framebuffer == NULL || !flags_valid(flags) || !clip_valid(clip) ||
        (uint64_t)clip.x + (uint64_t)clip.w > stride_px) {
        return THEME_E_ARGUMENT;
    }
    if (!clip_span(x, image->width, clip.x, clip.w, &u.pl.c0) ||
        !clip_span(y, image->height, clip.y, clip.h, &u.pl.r0)) {
        return THEME_OK;
    }
    c0 = u.pl.c0, c1 = u.pl.c1, r0 = u.pl.r0, r1 = u.pl.r1;
    framebuffer += ((size_t)clip.y + u.pl.top) * stride_px + (size_t)clip.x + u.pl.left;
    walk_open(&u.w, image, flags);
    st = r0 != 0 ? walk_rows(&u.w, NULL, 0, 0, 0, r0) : THEME_OK;
    return st == THEME_OK ? walk_rows(&u.w, framebuffer, stride_px, c0, c1, r1) : st;
}

theme_status theme_rows_begin_at(theme_rows* rows, const theme_image* image, int32_t x, int32_t y,
                                 theme_rect clip, uint32_t flags) {
    if (rows == NULL) {
        return THEME_E_ARGUMENT;
    }
    memset(rows, 0, sizeof *rows);
    rows->status = THEME_E_ARGUMENT;
    if (!image_ready(image) || !flags_valid(flags) || !clip_valid(clip)) {
        return THEME_E_ARGUMENT;
    }
    rows->image = *image;
    rows->begun = image;
    walk_open(&rows->at, &rows->image, flags);
    rows->lines = (uint32_t)clip.h;
    rows->columns = (uint32_t)clip.w;
    if (!clip_span(x, image->width, clip.x, clip.w, &rows->place.c0) ||
        !clip_span(y, image->height, clip.y, clip.h, &rows->place.r0)) {
        rows->place.r1 = rows->place.r0; /* no row of the clip shows the image */
    }
    rows->status = THEME_OK;
    return THEME_OK;
}

theme_status theme_rows_begin(theme_rows* rows, const theme_image* image, uint32_t flags) {
    const theme_rect all = {0, 0, theme_image_width(image), theme_image_height(image)};
    return theme_rows_begin_at(rows, image, 0, 0, all, flags);
}

/* The image the walk was begun on is still the one it reads: not reopened, nor closed. */
HOT int walk_intact(const theme_rows* rows) {
    const theme_image *a = &rows->image, *b = rows->begun;
    return a->src.bytes == b->src.bytes && a->src.read == b->src.read && a->src.ctx == b->src.ctx &&
           a->src.window == b->src.window && a->src.window_size == b->src.window_size &&
           a->src.base == b->src.base && a->src.size == b->src.size && a->width == b->width &&
           a->height == b->height;
}

/* The status of a walk that goes on: its first fault, or THEME_E_ARGUMENT for good once its
 * image was reopened. */
static theme_status walk_going(theme_rows* rows) {
    if (rows->status == THEME_OK && !walk_intact(rows)) {
        rows->status = THEME_E_ARGUMENT;
    }
    return rows->status;
}

theme_status theme_rows_next(theme_rows* rows, uint16_t* line, int32_t x0, int32_t width) {
    const struct theme_place* pl;
    walk* w;
    uint32_t row, from, to;
    if (rows == NULL || rows->line >= rows->lines || x0 < 0 || width < 0 ||
        (uint64_t)x0 + (uint64_t)width > rows->columns || (line == NULL && width > 0)) {
        return THEME_E_ARGUMENT;
    }
    if (walk_going(rows) != THEME_OK) {
        return rows->status;
    }
    pl = &rows->place;
    row = rows->line++ - pl->top;
    from = (uint32_t)x0 > pl->left ? (uint32_t)x0 : pl->left;
    to = (uint32_t)x0 + (uint32_t)width;
    to = to < pl->left + (pl->c1 - pl->c0) ? to : pl->left + (pl->c1 - pl->c0);
    /* Nothing of the image in this row, or in these columns of it: nothing read. */
    if (row >= pl->r1 - pl->r0 || from >= to) {
        return THEME_OK;
    }
    w = &rows->at;
    w->c.src = &rows->image.src; /* the walk's own copy, also when the walk itself was copied */
    w->image = &rows->image;
    row += pl->r0;
    line += from - (uint32_t)x0;
    from = pl->c0 + (from - pl->left);
    to = pl->c0 + (to - pl->left);
    if (LEAN && w->row == row && from == 0 && to == (uint32_t)rows->image.width &&
        w->key > 0xFFFFu && !w->reverse && rows->image.rle && to <= RUN_MAX &&
        row + 1u < (uint32_t)rows->image.height) {
        /* The next whole row as walk_rows would take it, without its set-up, if at hand. */
        rows->status = rle_rows_whole(w, line, 0, row + 1u, 0x10000u, 0, 1, 0);
    } else if (w->row < row) {
        rows->status = walk_rows(w, NULL, 0, 0, 0, row);
    }
    if (rows->status == THEME_OK && w->row == row) {
        rows->status = walk_rows(w, line, 0, from, to, row + 1u);
    }
    return rows->status;
}

theme_status theme_rows_skip(theme_rows* rows, int32_t count) {
    if (rows == NULL || count < 0 || (uint32_t)count > rows->lines - rows->line) {
        return THEME_E_ARGUMENT;
    }
    if (walk_going(rows) == THEME_OK) {
        rows->line += (uint32_t)count;
    }
    return rows->status;
}

const char* theme_status_text(theme_status status) {
    static const char* const texts[] = {"ok",        "bad argument",       "bad index",
                                        "not found", "slot outside theme", "not a 16-bit image",
                                        "bad runs",  "read failed"};
    return (unsigned)status < sizeof texts / sizeof texts[0] ? texts[status] : "unknown status";
}
