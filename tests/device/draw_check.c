/*
 * The device reader checked where it runs: every draw of device_cases (every image of every
 * theme of the packed builds, whole and clipped, swapped, keyed) from memory, through a read
 * callback and a 64-byte window, and row by row, each framebuffer's checksum against the one the
 * host computed from the converter's output. One source, two builds: for a Cortex-M4 under QEMU
 * (make test-device), where it also counts the instructions each kind of draw takes beside the
 * fastest copy of the same pixels, and for the host, to reproduce a failure under a debugger.
 * Exit status 0 when every draw matched.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "device_cases.h"

#define MAX_FB_PIXELS (480u * 800u + 4096u)

/* Word-aligned, as the floor's copy needs. */
static union {
    uint32_t words[MAX_FB_PIXELS / 2];
    uint16_t pixels[MAX_FB_PIXELS];
} fb_memory, copy_memory;
#define fb fb_memory.pixels

#if defined(__ARM_ARCH_7EM__)
/* SysTick on the processor clock, counting down from 2^24 - 1. Under QEMU's -icount shift=6 an
 * instruction takes 64 ns and a tick 40 ns. */
#define SYST_CSR (*(volatile uint32_t*)0xE000E010u)
#define SYST_RVR (*(volatile uint32_t*)0xE000E014u)
#define SYST_CVR (*(volatile uint32_t*)0xE000E018u)
#define TICKS_PER_64_INSTRUCTIONS 40u

static void ticks_start(void) {
    SYST_RVR = 0xFFFFFFu;
    SYST_CVR = 0;
    SYST_CSR = 5;
    while (SYST_CVR == 0) {
    }
}

static uint32_t ticks_now(void) {
    return SYST_CVR;
}

static uint32_t ticks_since(uint32_t start) {
    return (start - SYST_CVR) & 0xFFFFFFu;
}

/* The floor: the fastest copy of n bytes (a multiple of 32, 4-byte aligned) this core has,
 * eight words a load and a store. */
static void floor_copy(void* dst, const void* src, uint32_t n) {
    __asm__ volatile("1: ldmia %1!, {r3-r10}\n"
                     "   stmia %0!, {r3-r10}\n"
                     "   subs %2, %2, #32\n"
                     "   bhi 1b\n"
                     : "+r"(dst), "+r"(src), "+r"(n)
                     :
                     : "r3", "r4", "r5", "r6", "r7", "r8", "r9", "r10", "cc", "memory");
}
#define MEASURED 1
#else
#define MEASURED 0
static void ticks_start(void) {}
static uint32_t ticks_now(void) {
    return 0;
}
static uint32_t ticks_since(uint32_t start) {
    return start;
}
static void floor_copy(void* dst, const void* src, uint32_t n) {
    memcpy(dst, src, n);
}
#endif

/* The storage behind the _io path: a file of the build, read with its bounds checked. */
typedef struct {
    const uint8_t* bytes;
    uint32_t size;
} flash_file;

static int read_flash(void* ctx, uint32_t offset, void* dst, uint32_t len) {
    const flash_file* f = (const flash_file*)ctx;
    if (len == 0 || offset > f->size || len > f->size - offset) {
        printf("read of %lu bytes at %lu outside a file of %lu\n", (unsigned long)len,
               (unsigned long)offset, (unsigned long)f->size);
        return 1;
    }
    memcpy(dst, f->bytes + offset, len);
    return 0;
}

enum { PATH_MEMORY, PATH_WINDOW, PATH_ROWS, PATH_COUNT };
static const char* const path_names[PATH_COUNT] = {"memory", "window of 64", "rows"};

typedef struct {
    uint64_t pixels, ticks, floor_ticks;
} cost;

static void fill_guard(uint32_t count) {
    uint32_t i;
    for (i = 0; i < count; ++i) {
        fb[i] = fb_guard(i);
    }
}

/* The draw through theme_rows: the rows above the clip skipped, the others written where
 * theme_draw would write them. */
static theme_status draw_rows(const theme_image* image, const device_draw* d) {
    const int64_t x0 = d->clip.x > d->x ? d->clip.x : d->x;
    const int64_t x1 = (int64_t)d->clip.x + d->clip.w < (int64_t)d->x + d->width
                           ? (int64_t)d->clip.x + d->clip.w
                           : (int64_t)d->x + d->width;
    theme_rows rows;
    theme_status st = theme_rows_begin(&rows, image, d->flags);
    int32_t r;
    for (r = 0; st == THEME_OK && r < d->height; ++r) {
        const int64_t fy = (int64_t)d->y + r;
        if (fy < d->clip.y || fy >= (int64_t)d->clip.y + d->clip.h || x0 >= x1) {
            st = theme_rows_skip(&rows, 1);
        } else {
            st = theme_rows_next(&rows, fb + (size_t)fy * d->stride + (size_t)x0,
                                 (int32_t)(x0 - d->x), (int32_t)(x1 - x0));
        }
    }
    return st;
}

/* One draw through one path; 1 when its framebuffer is the one the host computed. */
static int run_draw(const device_draw* d, int path, cost* costs) {
    const device_build* b = &device_builds[d->build];
    flash_file index_file = {b->index, b->index_size};
    flash_file theme_file = {b->themes[d->theme], b->theme_sizes[d->theme]};
    uint8_t window[THEME_MIN_WINDOW];
    const uint32_t count = d->stride * d->rows;
    theme_slot slot = d->slot;
    theme_index index;
    theme_image image;
    theme_status st = THEME_OK;
    uint32_t start, sum;
    if (b->index != NULL) {
        st = path == PATH_WINDOW ? theme_index_open_io(&index, read_flash, &index_file,
                                                       b->index_size, window, sizeof window)
                                 : theme_index_open(&index, b->index, b->index_size);
        if (st == THEME_OK) {
            st = theme_index_slot(&index, d->ordinal, &slot);
        }
        if (st == THEME_OK && (slot.offset != d->slot.offset || slot.size != d->slot.size)) {
            printf("%s theme %u image %lu: slot %lu+%lu, not %lu+%lu\n", b->name, d->theme,
                   (unsigned long)d->ordinal, (unsigned long)slot.offset, (unsigned long)slot.size,
                   (unsigned long)d->slot.offset, (unsigned long)d->slot.size);
            return 0;
        }
    }
    if (st == THEME_OK) {
        st = path == PATH_WINDOW
                 ? theme_image_open_io(&image, read_flash, &theme_file, theme_file.size, slot,
                                       window, sizeof window)
                 : theme_image_open(&image, theme_file.bytes, theme_file.size, slot);
    }
    fill_guard(count);
    start = ticks_now();
    if (st == THEME_OK) {
        st = path == PATH_ROWS ? draw_rows(&image, d)
                               : theme_draw(&image, fb, d->stride, d->clip, d->x, d->y, d->flags);
    }
    if (path == PATH_MEMORY && MEASURED && d->kind != KIND_CHECK) {
        /* The same pixels, copied the fastest way: a framebuffer of the image's own width. */
        const uint32_t bytes = (uint32_t)d->clip.w * (uint32_t)d->clip.h * 2u;
        costs[d->kind].ticks += ticks_since(start);
        costs[d->kind].pixels += bytes / 2u;
        start = ticks_now();
        floor_copy(copy_memory.words, fb_memory.words, (bytes + 31u) & ~31u);
        costs[d->kind].floor_ticks += ticks_since(start);
    }
    sum = fb_checksum(fb, count);
    if (st != THEME_OK || sum != d->checksum) {
        printf("%s theme %u image %lu (%ldx%ld at %ld,%ld clip %ld,%ld %ldx%ld flags %lu) through "
               "%s: %s, checksum %08lx, not %08lx\n",
               b->name, d->theme, (unsigned long)d->ordinal, (long)d->width, (long)d->height,
               (long)d->x, (long)d->y, (long)d->clip.x, (long)d->clip.y, (long)d->clip.w,
               (long)d->clip.h, (unsigned long)d->flags, path_names[path], theme_status_text(st),
               (unsigned long)sum, (unsigned long)d->checksum);
        return 0;
    }
    return 1;
}

static void print_costs(const cost* costs) {
    static const char* const names[KIND_COUNT] = {"",
                                                  "sample theme, whole images",
                                                  "corpus icons, whole",
                                                  "corpus screens, whole",
                                                  "corpus screens, a quarter (bottom right)",
                                                  "corpus icons, keyed over a background"};
    uint32_t k;
    printf("instructions per drawn pixel (reader / fastest copy of the same pixels = ratio):\n");
    for (k = 1; k < KIND_COUNT; ++k) {
        /* 64 ns an instruction, 40 ns a tick; in thousandths. */
        const uint64_t reader = costs[k].ticks * 1000u * 40u / 64u / (costs[k].pixels | 1u);
        const uint64_t floor = costs[k].floor_ticks * 1000u * 40u / 64u / (costs[k].pixels | 1u);
        printf("  %-42s %8lu pixels  %2lu.%03lu / %lu.%03lu = %lu.%02lu\n", names[k],
               (unsigned long)costs[k].pixels, (unsigned long)(reader / 1000u),
               (unsigned long)(reader % 1000u), (unsigned long)(floor / 1000u),
               (unsigned long)(floor % 1000u), (unsigned long)(reader / (floor | 1u)),
               (unsigned long)(reader * 100u / (floor | 1u) % 100u));
    }
}

int main(void) {
    cost costs[KIND_COUNT];
    uint32_t i, failed = 0, b;
    int path;
    memset(costs, 0, sizeof costs);
    ticks_start();
    for (b = 0; b < device_build_count; ++b) {
        const device_build* build = &device_builds[b];
        theme_index index;
        if (build->index != NULL &&
            (theme_index_open(&index, build->index, build->index_size) != THEME_OK ||
             theme_index_verify(&index, build->index_size, build->index_crc32) != THEME_OK ||
             theme_index_check_ids(&index, build->ids_crc32) != THEME_OK ||
             theme_index_check_ids(&index, build->ids_crc32 ^ 1u) != THEME_E_INDEX)) {
            printf("%s: the index does not open, verify or check its IDs\n", build->name);
            ++failed;
        }
    }
    for (i = 0; i < device_draw_count; ++i) {
        for (path = 0; path < PATH_COUNT; ++path) {
            failed += run_draw(&device_draws[i], path, costs) ? 0u : 1u;
        }
    }
    printf("%lu draws, each from memory, through a window of 64 bytes and row by row: %lu failed\n",
           (unsigned long)device_draw_count, (unsigned long)failed);
    if (MEASURED) {
        print_costs(costs);
    }
    /* exit, not a return: picolibc's semihosting start code reports exit's status to QEMU. */
    exit(failed == 0 ? 0 : 1);
}
