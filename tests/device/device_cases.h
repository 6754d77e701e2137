/* The builds and draws that draw_check runs, written as C by device-cases on the host from packed
 * builds and the converter's pixels, so that the device needs nothing but the reader to check
 * itself. */
#ifndef DEVICE_CASES_H
#define DEVICE_CASES_H

#include <stdint.h>

#include "device/theme_reader.h"

typedef struct {
    const char* name;
    const uint8_t* index; /* NULL: a build of slots only, drawn from the slots of its draws */
    uint32_t index_size;
    uint32_t index_crc32;
    uint32_t ids_crc32; /* THEME_IDS_CRC32 */
    uint32_t image_count;
    const uint8_t* themes[10]; /* each present theme's Theme.bin, else NULL */
    uint32_t theme_sizes[10];
} device_build;

/* What a draw's cost counts towards. */
enum {
    KIND_CHECK,
    KIND_SAMPLE,
    KIND_ICON,
    KIND_SCREEN,
    KIND_QUARTER,
    KIND_KEYED,
    KIND_ROWS,
    KIND_COUNT
};

typedef struct {
    uint16_t build, theme;
    uint32_t ordinal;         /* in the index, when the build has one */
    const char *group, *name; /* the names stored there */
    theme_slot slot;
    int32_t width, height;
    uint32_t stride, rows; /* the framebuffer */
    theme_rect clip;
    int32_t x, y;
    uint32_t flags;
    uint32_t checksum; /* of the whole framebuffer after the draw (fb_checksum) */
    uint32_t kind;
} device_draw;

extern const device_build device_builds[];
extern const uint32_t device_build_count;
extern const device_draw device_draws[];
extern const uint32_t device_draw_count;

/* The value every framebuffer pixel holds before a draw: what the draw must leave alone. */
static inline uint16_t fb_guard(uint32_t i) {
    return (uint16_t)(0xA5C3u ^ (i * 0x9E37u));
}

/* FNV-1a over each pixel's value, low byte first: the same on any CPU. */
static inline uint32_t fb_checksum(const uint16_t* fb, uint32_t count) {
    uint32_t h = 2166136261u, i;
    for (i = 0; i < count; ++i) {
        h = (h ^ (fb[i] & 0xFFu)) * 16777619u;
        h = (h ^ (uint32_t)(fb[i] >> 8)) * 16777619u;
    }
    return h;
}

#endif
