/*
 * The device reader checked where it runs: every draw of device_cases (every image of every
 * theme of the packed builds and their PRI0 copies, whole, clipped and at random, swapped,
 * keyed) from memory, through a read callback and a window of 64, 97 or 4096 bytes (the image
 * found by its names there, else by its ordinal), and row by row, each framebuffer's checksum
 * against the one the host computed from the converter's output; and the bytes the read callback
 * gives a row walk and a clipped draw of every image through windows of 64, 256 and 4096 bytes,
 * against its slot's size. One source, two builds: for a Cortex-M4 under QEMU (make
 * test-device), where it also counts the instructions each kind of draw takes beside the floor
 * decoders (device_floor.h) and the fastest copy of the same pixels, and for the host (make
 * test). Exit status 0 when every draw matched, every walk read at most its slot and one window,
 * and the floor was no slower than the plain decoder.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "device_cases.h"
#include "device_floor.h"

#define MAX_FB_PIXELS (480u * 800u + 4096u)

/* Word-aligned, as the floor's copy needs. */
static union {
    uint32_t words[MAX_FB_PIXELS / 2];
    uint16_t pixels[MAX_FB_PIXELS];
} fb_memory, copy_memory;
#define fb fb_memory.pixels
/* The _io path's window, of any size up to 4096 bytes. */
static uint8_t window[4096];

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
    uint32_t bytes_read;
} flash_file;

static int read_flash(void* ctx, uint32_t offset, void* dst, uint32_t len) {
    const flash_file* f = (const flash_file*)ctx;
    if (len == 0 || offset > f->size || len > f->size - offset) {
        printf("read of %lu bytes at %lu outside a file of %lu\n", (unsigned long)len,
               (unsigned long)offset, (unsigned long)f->size);
        return 1;
    }
    memcpy(dst, f->bytes + offset, len);
    ((flash_file*)ctx)->bytes_read += len;
    return 0;
}

enum { PATH_MEMORY, PATH_WINDOW, PATH_ROWS, PATH_COUNT };
static const char* const path_names[PATH_COUNT] = {"memory", "window", "rows"};
/* The window a draw takes, by its number. */
static const uint32_t draw_windows[3] = {64, 97, 4096};

/* What a counted draw costs, in ticks, beside the same pixels drawn by the floor decoders and
 * copied the fastest way. */
enum { BY_READER, BY_FLOOR, BY_PLAIN, BY_COPY, BY_COUNT };
typedef struct {
    uint64_t pixels, ticks[BY_COUNT];
} cost;

static void fill_guard(uint32_t count) {
    uint32_t i;
    for (i = 0; i < count; ++i) {
        fb[i] = fb_guard(i);
    }
}

/* The draw through theme_rows: each row of the clip written where theme_draw writes it. With
 * whole_fb, a walk over the whole framebuffer instead, that passes the rows above and below the
 * clip and writes only the clip's columns of the others. Past its last row a walk gives none. */
static theme_status draw_rows(const theme_image* image, const device_draw* d, int whole_fb) {
    const theme_rect all = {0, 0, (int32_t)d->stride, (int32_t)d->rows};
    uint16_t* line = fb + (size_t)d->clip.y * d->stride + (size_t)d->clip.x;
    theme_rows rows;
    theme_status st =
        theme_rows_begin_at(&rows, image, d->x, d->y, whole_fb ? all : d->clip, d->flags);
    int32_t r;
    if (st == THEME_OK && whole_fb) {
        st = theme_rows_skip(&rows, d->clip.y);
    }
    for (r = 0; st == THEME_OK && r < d->clip.h; ++r, line += d->stride) {
        st = theme_rows_next(&rows, line, whole_fb ? d->clip.x : 0, d->clip.w);
    }
    if (st == THEME_OK && whole_fb) {
        st = theme_rows_skip(&rows, all.h - d->clip.y - d->clip.h);
    }
    if (st == THEME_OK && theme_rows_next(&rows, line, 0, 0) != THEME_E_ARGUMENT) {
        st = THEME_E_ARGUMENT;
    }
    return st;
}

static int checked(const device_draw* d, theme_status st, const char* by) {
    const device_build* b = &device_builds[d->build];
    const uint32_t sum = fb_checksum(fb, d->stride * d->rows);
    if (st == THEME_OK && sum == d->checksum) {
        return 1;
    }
    printf("%s theme %u image %lu (%ldx%ld at %ld,%ld clip %ld,%ld %ldx%ld flags %lu) %s: %s, "
           "checksum %08lx, not %08lx\n",
           b->name, d->theme, (unsigned long)d->ordinal, (long)d->width, (long)d->height,
           (long)d->x, (long)d->y, (long)d->clip.x, (long)d->clip.y, (long)d->clip.w,
           (long)d->clip.h, (unsigned long)d->flags, by, theme_status_text(st), (unsigned long)sum,
           (unsigned long)d->checksum);
    return 0;
}

/* The counted draw's pixels by a floor decoder (plain: the floor's check) and by the copy; 1 when
 * each decoder drew the pixels the reader must draw. Counted draws place the image at 0, 0. */
static int run_yardsticks(const device_draw* d, cost* c) {
    const device_build* b = &device_builds[d->build];
    const uint8_t* runs = b->themes[d->theme] + d->slot.offset + 16u;
    uint16_t* at = fb + (size_t)d->clip.y * d->stride + (size_t)d->clip.x;
    const uint32_t c0 = (uint32_t)d->clip.x, c1 = c0 + (uint32_t)d->clip.w;
    const uint32_t r0 = (uint32_t)d->clip.y, r1 = r0 + (uint32_t)d->clip.h;
    const uint32_t bytes = (uint32_t)d->clip.w * (uint32_t)d->clip.h * 2u;
    const uint16_t key = (uint16_t)(d->flags >> 16);
    uint32_t start;
    int ok = 1, plain;
    for (plain = 0; plain < 2; ++plain) {
        fill_guard(d->stride * d->rows);
        start = ticks_now();
        if (d->kind == KIND_QUARTER) {
            (plain ? plain_draw_clipped : floor_draw_clipped)(runs, at, d->stride, c0, c1, r0, r1);
        } else if (d->kind == KIND_KEYED) {
            (plain ? plain_draw_keyed : floor_draw_keyed)(runs, at, d->stride, key);
        } else {
            (plain ? plain_draw : floor_draw)(runs, at, d->stride);
        }
        c->ticks[plain ? BY_PLAIN : BY_FLOOR] += ticks_since(start);
        ok &= checked(d, THEME_OK, plain ? "by the plain decoder" : "by the floor decoder");
    }
    start = ticks_now();
    floor_copy(copy_memory.words, fb_memory.words, (bytes + 31u) & ~31u);
    c->ticks[BY_COPY] += ticks_since(start);
    c->pixels += bytes / 2u;
    return ok;
}

/* One draw through one path; 1 when its framebuffer is the one the host computed. */
static int run_draw(const device_draw* d, int path, cost* costs) {
    const device_build* b = &device_builds[d->build];
    const uint32_t number = (uint32_t)(d - device_draws), window_size = draw_windows[number % 3];
    flash_file index_file = {b->index, b->index_size, 0};
    flash_file theme_file = {b->themes[d->theme], b->theme_sizes[d->theme], 0};
    const int counted =
        d->kind != KIND_CHECK && path == (d->kind == KIND_ROWS ? PATH_ROWS : PATH_MEMORY);
    theme_slot slot = d->slot;
    theme_index index;
    theme_image image;
    theme_status st = THEME_OK;
    uint32_t start;
    if (b->index != NULL) {
        st = path == PATH_WINDOW ? theme_index_open_io(&index, read_flash, &index_file,
                                                       b->index_size, window, window_size)
                                 : theme_index_open(&index, b->index, b->index_size);
        if (st == THEME_OK) {
            st = path == PATH_WINDOW ? theme_index_find(&index, d->group, d->name, &slot)
                                     : theme_index_slot(&index, d->ordinal, &slot);
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
                                       window, window_size)
                 : theme_image_open(&image, theme_file.bytes, theme_file.size, slot);
    }
    if (st == THEME_OK &&
        (theme_image_width(&image) != d->width || theme_image_height(&image) != d->height)) {
        st = THEME_E_IMAGE;
    }
    if (st == THEME_OK) {
        st = theme_image_check(&image);
    }
    fill_guard(d->stride * d->rows);
    start = ticks_now();
    if (st == THEME_OK) {
        st = path == PATH_ROWS ? draw_rows(&image, d, d->kind == KIND_CHECK && number % 2 != 0)
                               : theme_draw(&image, fb, d->stride, d->clip, d->x, d->y, d->flags);
    }
    if (counted) {
        costs[d->kind].ticks[BY_READER] += ticks_since(start);
    }
    if (!checked(d, st, path_names[path])) {
        return 0;
    }
    return counted ? run_yardsticks(d, &costs[d->kind]) : 1;
}

/* ticks per pixel as instructions (64 ns an instruction, 40 ns a tick), in thousandths. */
static uint64_t per_pixel(const cost* c, int by) {
    return c->ticks[by] * 1000u * 40u / 64u / (c->pixels | 1u);
}

static void print_thousandths(const char* label, uint64_t value) {
    printf("  %s %lu.%03lu", label, (unsigned long)(value / 1000u), (unsigned long)(value % 1000u));
}

/* One line per case, instructions per drawn pixel; 0 when the floor is no floor (slower than the
 * plain decoder on a case). */
static int print_costs(const cost* costs) {
    static const char* const names[KIND_COUNT] = {"",
                                                  "sample theme whole",
                                                  "corpus icons whole",
                                                  "corpus screens whole",
                                                  "screen quarter",
                                                  "icons keyed",
                                                  "screen rows"};
    uint32_t k;
    int floor_ok = 1;
    printf("instructions per drawn pixel (the floor: unchecked decoders; copy: ldmia/stmia of the "
           "decoded pixels):\n");
    for (k = 1; k < KIND_COUNT; ++k) {
        const uint64_t reader = per_pixel(&costs[k], BY_READER);
        const uint64_t floor = per_pixel(&costs[k], BY_FLOOR);
        printf("%s  %lu pixels", names[k], (unsigned long)costs[k].pixels);
        print_thousandths("reader", reader);
        print_thousandths("floor", floor);
        print_thousandths("copy", per_pixel(&costs[k], BY_COPY));
        const uint64_t ratio = (reader * 1000u / (floor | 1u) + 5u) / 10u; /* rounded */
        printf("  reader/floor %lu.%02lu\n", (unsigned long)(ratio / 100u),
               (unsigned long)(ratio % 100u));
    }
    printf("the floor's check, a plain decoder:");
    for (k = 1; k < KIND_COUNT; ++k) {
        const uint64_t plain = per_pixel(&costs[k], BY_PLAIN);
        printf(" %lu.%03lu", (unsigned long)(plain / 1000u), (unsigned long)(plain % 1000u));
        if (costs[k].ticks[BY_FLOOR] > costs[k].ticks[BY_PLAIN]) {
            printf(" (the floor is slower: no floor)");
            floor_ok = 0;
        }
    }
    printf("\n");
    return floor_ok;
}

/* What the read callback gives a row walk of every row, and a draw of the bottom-right quarter,
 * of every image drawn whole for a count, through windows of each size: at most the slot's size
 * and one window each (the image's header included). */
#define READ_WINDOWS 3
static const uint32_t read_windows[READ_WINDOWS] = {64, 256, 4096};
typedef struct {
    uint64_t slots, walked[READ_WINDOWS], drawn[READ_WINDOWS];
} reads;

static int count_reads(const device_draw* d, reads* r) {
    const device_build* b = &device_builds[d->build];
    const theme_rect quarter = {d->width / 2, d->height / 2, d->width - d->width / 2,
                                d->height - d->height / 2};
    flash_file file = {b->themes[d->theme], b->theme_sizes[d->theme], 0};
    int i, ok = 1;
    r->slots += d->slot.size;
    for (i = 0; i < READ_WINDOWS; ++i) {
        const uint32_t bound = d->slot.size + read_windows[i];
        theme_image image;
        theme_rows rows;
        theme_status st = theme_image_open_io(&image, read_flash, &file, file.size, d->slot, window,
                                              read_windows[i]);
        int32_t y;
        fill_guard(d->stride * d->rows);
        if (st == THEME_OK) {
            st = theme_rows_begin(&rows, &image, 0);
        }
        for (y = 0; st == THEME_OK && y < d->height; ++y) {
            st = theme_rows_next(&rows, fb + (size_t)y * d->stride, 0, d->width);
        }
        ok &= checked(d, st, "walked through _io");
        r->walked[i] += file.bytes_read;
        ok &= file.bytes_read <= bound;
        file.bytes_read = 0;
        st = theme_image_open_io(&image, read_flash, &file, file.size, d->slot, window,
                                 read_windows[i]);
        if (st == THEME_OK) {
            st = theme_draw(&image, fb, d->stride, quarter, 0, 0, 0);
        }
        r->drawn[i] += file.bytes_read;
        ok &= st == THEME_OK && file.bytes_read <= bound;
        if (!ok) {
            printf("%s theme %u image %lu: %lu bytes read of a slot of %lu through a window of "
                   "%lu\n",
                   b->name, d->theme, (unsigned long)d->ordinal, (unsigned long)file.bytes_read,
                   (unsigned long)d->slot.size, (unsigned long)read_windows[i]);
            return 0;
        }
        file.bytes_read = 0;
    }
    return 1;
}

static void print_reads(const reads* r) {
    int i;
    printf("bytes the read callback gave, for %lu bytes of slots (each at most its slot and one "
           "window):\n",
           (unsigned long)r->slots);
    for (i = 0; i < READ_WINDOWS; ++i) {
        printf(
            "  window of %4lu: a walk of every row %lu, a draw of the bottom-right quarter %lu\n",
            (unsigned long)read_windows[i], (unsigned long)r->walked[i],
            (unsigned long)r->drawn[i]);
    }
}

int main(void) {
    static cost costs[KIND_COUNT];
    reads bytes;
    uint32_t i, failed = 0, b;
    int path;
    memset(&bytes, 0, sizeof bytes);
    ticks_start();
    for (b = 0; b < device_build_count; ++b) {
        const device_build* build = &device_builds[b];
        flash_file file = {build->index, build->index_size, 0};
        theme_index index;
        if (build->index != NULL &&
            (theme_index_open_io(&index, read_flash, &file, file.size, window, 97) != THEME_OK ||
             theme_index_count(&index) != build->image_count ||
             theme_index_verify(&index, file.size, build->index_crc32) != THEME_OK ||
             theme_index_verify(&index, file.size, build->index_crc32 ^ 1u) != THEME_E_INDEX ||
             theme_index_verify(&index, file.size + 1u, build->index_crc32) != THEME_E_INDEX ||
             theme_index_check_ids(&index, build->ids_crc32) != THEME_OK ||
             theme_index_check_ids(&index, build->ids_crc32 ^ 1u) != THEME_E_INDEX)) {
            printf("%s: the index does not open, count, verify or check its IDs\n", build->name);
            ++failed;
        }
    }
    for (i = 0; i < device_draw_count; ++i) {
        for (path = 0; path < PATH_COUNT; ++path) {
            failed += run_draw(&device_draws[i], path, costs) ? 0u : 1u;
        }
        if (device_draws[i].kind == KIND_SAMPLE || device_draws[i].kind == KIND_ICON ||
            device_draws[i].kind == KIND_SCREEN) {
            failed += count_reads(&device_draws[i], &bytes) ? 0u : 1u;
        }
    }
    printf("%lu draws, each from memory, through a window of 64, 97 or 4096 bytes and row by row: "
           "%lu failed\n",
           (unsigned long)device_draw_count, (unsigned long)failed);
    print_reads(&bytes);
    if (MEASURED && !print_costs(costs)) {
        ++failed;
    }
    /* exit, not a return: picolibc's semihosting start code reports exit's status to QEMU. */
    exit(failed == 0 ? 0 : 1);
}
