/* The floor decoders (see device_floor.h). A run costs what the format makes it cost: its control
 * unit read and tested, then a fill or a copy, the fastest this core has, and nothing else. */
#include "device_floor.h"

#include <string.h>

#define RUN_LENGTH 0x0FFFu
#define RUN_REPEAT 0x2000u
#define RUN_ROW_END 0x4000u
#define RUN_IMAGE_END 0x8000u

static uint32_t unit_at(const uint8_t* p) {
    uint16_t u;
    memcpy(&u, p, 2);
    return u;
}

static void put32(uint16_t* d, uint32_t w) {
    memcpy(d, &w, 4);
}

#if defined(__GNUC__) && defined(__thumb2__) && defined(__ARM_FEATURE_UNALIGNED)
/* ARMv7-M, where single loads and stores may be unaligned (multiple ones and strd may not). Under
 * 8 pixels, one jump into straight stores; from 8 on, d first brought to a 4-byte boundary. */
#define FAST_INLINE static inline __attribute__((always_inline))
#define SHORT_TABLE                                                                                \
    "0: tbb [pc, %[n]]\n"                                                                          \
    "1: .byte (10f-1b)/2, (11f-1b)/2, (12f-1b)/2, (13f-1b)/2\n"                                    \
    "   .byte (14f-1b)/2, (15f-1b)/2, (16f-1b)/2, (17f-1b)/2\n"

/* n pixels of pair: 16 in four strd. */
FAST_INLINE uint16_t* fill(uint16_t* d, uint32_t pair, uint32_t n) {
    uint32_t t;
    __asm__ volatile("   cmp %[n], #8\n"
                     "   bhs 2f\n" SHORT_TABLE "17: strh %[v], [%[d], #12]\n"
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

/* n pixels from s: 8 in two instructions when s and d are both on a 4-byte boundary, else in
 * five (four single loads, one multiple store). */
FAST_INLINE uint16_t* copy(uint16_t* d, const uint8_t* s, uint32_t n) {
    uint32_t t;
    __asm__ volatile("   cmp %[n], #8\n"
                     "   bhs 2f\n" SHORT_TABLE "17: ldrh %[t], [%[s], #12]\n"
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
#else
#define FAST_INLINE static
FAST_INLINE uint16_t* fill(uint16_t* d, uint32_t pair, uint32_t n) {
    for (; n >= 2; n -= 2, d += 2) {
        put32(d, pair);
    }
    if (n != 0) {
        *d++ = (uint16_t)pair;
    }
    return d;
}

FAST_INLINE uint16_t* copy(uint16_t* d, const uint8_t* s, uint32_t n) {
    memcpy(d, s, 2 * n);
    return d + n;
}
#endif

void floor_draw(const uint8_t* runs, uint16_t* fb, uint32_t stride) {
    uint16_t *row = fb, *d = fb;
    for (;;) {
        const uint32_t unit = unit_at(runs), n = unit & RUN_LENGTH;
        if ((unit & RUN_REPEAT) != 0) {
            d = fill(d, unit_at(runs + 2) * 0x10001u, n);
            runs += 4;
        } else {
            d = copy(d, runs + 2, n);
            runs += 2 + 2 * n;
        }
        if ((unit & RUN_ROW_END) != 0) {
            if ((unit & RUN_IMAGE_END) != 0) {
                return;
            }
            d = row += stride;
        }
    }
}

/* Literal pixels compared with the key two at a time: a pair that holds no key pixel is one
 * store (a half of w ^ key pair is zero exactly where a pixel is the key). */
static uint16_t* copy_keyed(uint16_t* d, const uint8_t* s, uint32_t n, uint32_t key) {
    const uint32_t pair = key * 0x10001u;
    for (; n >= 2; n -= 2, s += 4, d += 2) {
        uint32_t w;
        memcpy(&w, s, 4);
        if ((((w ^ pair) - 0x00010001u) & ~(w ^ pair) & 0x80008000u) == 0) {
            put32(d, w);
        } else if ((w & 0xFFFFu) != key) {
            d[0] = (uint16_t)w;
        } else if (w >> 16 != key) {
            d[1] = (uint16_t)(w >> 16);
        }
    }
    if (n != 0 && unit_at(s) != key) {
        *d = (uint16_t)unit_at(s);
    }
    return d + n;
}

void floor_draw_keyed(const uint8_t* runs, uint16_t* fb, uint32_t stride, uint16_t key) {
    uint16_t *row = fb, *d = fb;
    for (;;) {
        const uint32_t unit = unit_at(runs), n = unit & RUN_LENGTH;
        if ((unit & RUN_REPEAT) != 0) {
            const uint32_t v = unit_at(runs + 2);
            d = v != key ? fill(d, v * 0x10001u, n) : d + n;
            runs += 4;
        } else {
            d = copy_keyed(d, runs + 2, n, key);
            runs += 2 + 2 * n;
        }
        if ((unit & RUN_ROW_END) != 0) {
            if ((unit & RUN_IMAGE_END) != 0) {
                return;
            }
            d = row += stride;
        }
    }
}

/* The runs of rows [0, r0) passed: where row r0 starts. */
static const uint8_t* pass_rows(const uint8_t* runs, uint32_t r0) {
    while (r0 != 0) {
        const uint32_t unit = unit_at(runs);
        runs += (unit & RUN_REPEAT) != 0 ? 4 : 2 + 2 * (unit & RUN_LENGTH);
        r0 -= (unit & RUN_ROW_END) != 0;
    }
    return runs;
}

void floor_draw_clipped(const uint8_t* runs, uint16_t* fb, uint32_t stride, uint32_t c0,
                        uint32_t c1, uint32_t r0, uint32_t r1) {
    uint32_t r;
    runs = pass_rows(runs, r0);
    for (r = r0; r < r1; ++r, fb += stride) {
        uint32_t x = 0, unit;
        do {
            unit = unit_at(runs);
            const uint32_t n = unit & RUN_LENGTH, end = x + n;
            const uint32_t from = x > c0 ? x : c0, to = end < c1 ? end : c1;
            if ((unit & RUN_REPEAT) != 0) {
                if (from < to) {
                    fill(fb + (from - c0), unit_at(runs + 2) * 0x10001u, to - from);
                }
                runs += 4;
            } else {
                if (from < to) {
                    copy(fb + (from - c0), runs + 2 + 2 * (from - x), to - from);
                }
                runs += 2 + 2 * n;
            }
            x = end;
        } while ((unit & RUN_ROW_END) == 0);
    }
}

/* ---- Plain: portable C on the C library's memcpy, written apart from the above ---- */

/* n pixels of v: word stores from a 4-byte boundary of d on, eight pixels a loop. */
static void plain_fill(uint16_t* d, uint16_t v, uint32_t n) {
    const uint32_t pair = v * 0x10001u;
    if (((uintptr_t)d & 2u) != 0 && n != 0) {
        *d++ = v;
        --n;
    }
    for (; n >= 8; n -= 8, d += 8) {
        put32(d, pair);
        put32(d + 2, pair);
        put32(d + 4, pair);
        put32(d + 6, pair);
    }
    for (; n != 0; --n) {
        *d++ = v;
    }
}

/* One row's runs from *p on: its pixels [c0, c1) to d (column c0), but those of value key (none
 * above 0xFFFF). Returns the row's last control unit. */
static uint32_t plain_row(const uint8_t** p, uint16_t* d, uint32_t c0, uint32_t c1, uint32_t key) {
    uint32_t x = 0, unit;
    do {
        uint32_t n, from, to, i;
        unit = unit_at(*p);
        n = unit & RUN_LENGTH;
        from = x > c0 ? x : c0;
        to = x + n < c1 ? x + n : c1;
        if ((unit & RUN_REPEAT) != 0) {
            const uint32_t v = unit_at(*p + 2);
            if (from < to && v != key) {
                plain_fill(d + (from - c0), (uint16_t)v, to - from);
            }
            *p += 4;
        } else {
            const uint8_t* s = *p + 2 + 2 * (from - x);
            if (from < to && key > 0xFFFFu) {
                memcpy(d + (from - c0), s, 2 * (to - from));
            }
            for (i = from; from < to && key <= 0xFFFFu && i < to; ++i, s += 2) {
                if (unit_at(s) != key) {
                    memcpy(d + (i - c0), s, 2);
                }
            }
            *p += 2 + 2 * n;
        }
        x += n;
    } while ((unit & RUN_ROW_END) == 0);
    return unit;
}

/* Rows [0, r1) or up to the image's end, those from r0 on drawn. */
static void plain_rows(const uint8_t* runs, uint16_t* fb, uint32_t stride, uint32_t c0, uint32_t c1,
                       uint32_t r0, uint32_t r1, uint32_t key) {
    uint32_t r, unit = 0;
    for (r = 0; r < r1 && (unit & RUN_IMAGE_END) == 0; ++r) {
        unit = plain_row(&runs, fb, c0, r < r0 ? 0 : c1, key);
        fb += r < r0 ? 0 : stride;
    }
}

void plain_draw(const uint8_t* runs, uint16_t* fb, uint32_t stride) {
    plain_rows(runs, fb, stride, 0, 0xFFFFFFFFu, 0, 0xFFFFFFFFu, 0x10000u);
}

void plain_draw_keyed(const uint8_t* runs, uint16_t* fb, uint32_t stride, uint16_t key) {
    plain_rows(runs, fb, stride, 0, 0xFFFFFFFFu, 0, 0xFFFFFFFFu, key);
}

void plain_draw_clipped(const uint8_t* runs, uint16_t* fb, uint32_t stride, uint32_t c0,
                        uint32_t c1, uint32_t r0, uint32_t r1) {
    plain_rows(runs, fb, stride, c0, c1, r0, r1, 0x10000u);
}
