/* SPDX-License-Identifier: MIT. Copyright (c) 2026 The theme-packager developers. */
/*
 * The phone's home screen composed from a theme build with the device reader, as firmware would
 * draw it, 240 x 320: the wallpaper and the status bar, then the clock, a grid of app icons and a
 * dock with four more, each drawn with the colour key, so that the wallpaper shows around their
 * shapes. Drawn for theme 0 and theme 2 from the same Index.bin, each screen written as a PNG file.
 *
 *   device-screen ROOT SCREEN0.png SCREEN2.png
 *
 * ROOT holds Index.bin, 0/Theme.bin and 2/Theme.bin (restore them with VOX_ZIP -d). The index is
 * read through a callback and a 64-byte window, as from SPI flash; each Theme.bin is loaded
 * whole, as if memory-mapped. Only theme_reader.h is used to find and draw the images.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "theme_reader.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include "stb_image_write.h"

#define SCREEN_W 240
#define SCREEN_H 320

/* The index file, read on demand. */
static int read_file(void* ctx, uint32_t offset, void* dst, uint32_t len) {
    FILE* file = (FILE*)ctx;
    return fseek(file, (long)offset, SEEK_SET) != 0 || fread(dst, 1, len, file) != len;
}

static long file_size(FILE* file) {
    long size = -1;
    if (fseek(file, 0, SEEK_END) == 0) {
        size = ftell(file);
    }
    return fseek(file, 0, SEEK_SET) == 0 ? size : -1;
}

/* The whole file at path in memory; NULL when it cannot be read. */
static uint8_t* load(const char* path, uint32_t* size) {
    FILE* file = fopen(path, "rb");
    long length = file != NULL ? file_size(file) : -1;
    uint8_t* bytes = length > 0 && length < 0x7FFFFFFF ? (uint8_t*)malloc((size_t)length) : NULL;
    if (bytes != NULL && fread(bytes, 1, (size_t)length, file) != (size_t)length) {
        free(bytes);
        bytes = NULL;
    }
    if (file != NULL) {
        fclose(file);
    }
    *size = (uint32_t)length;
    return bytes;
}

/* The sample theme's key, magenta: pixels of it are left as the wallpaper drew them. */
#define KEYED THEME_COLOR_KEY(0xF81Fu)

/* An image drawn in the middle of its box and clipped to it (an icon of any size fits its cell). */
struct placed {
    const char *group, *name;
    theme_rect box;
    uint32_t flags;
};

static const struct placed kScreen[] = {
    {"home", "wallpaper.bmp", {0, 0, SCREEN_W, SCREEN_H}, 0},
    {"status", "bar.bmp", {0, 0, SCREEN_W, 20}, 0},
    {"home", "clock.bmp", {0, 28, SCREEN_W, 60}, KEYED},
    {"home", "dock.bmp", {4, 262, 232, 52}, KEYED},
};

/* Four to a row of 60 x 54 cells from (0, 92); the dock's four in cells of 54 x 52. */
static const char* const kApps[] = {"browser.bmp",    "mail.bmp",     "calendar.bmp", "photos.bmp",
                                    "calculator.bmp", "weather.bmp",  "notes.bmp",    "files.bmp",
                                    "terminal.bmp",   "settings.bmp", "help.bmp",     "games.bmp"};
static const char* const kDock[] = {"messages.bmp", "contacts.bmp", "music.bmp", "camera.bmp"};

static int draw_placed(const theme_index* index, const uint8_t* theme, uint32_t theme_size,
                       uint16_t* fb, const struct placed* p) {
    theme_slot slot;
    theme_image image;
    theme_status st = theme_index_find(index, p->group, p->name, &slot);
    if (st == THEME_OK) {
        st = theme_image_open(&image, theme, theme_size, slot);
    }
    if (st == THEME_OK) {
        const int32_t x = p->box.x + (p->box.w - theme_image_width(&image)) / 2;
        const int32_t y = p->box.y + (p->box.h - theme_image_height(&image)) / 2;
        st = theme_draw(&image, fb, SCREEN_W, p->box, x, y, p->flags);
    }
    if (st != THEME_OK) {
        fprintf(stderr, "device-screen: %s/%s: %s\n", p->group, p->name, theme_status_text(st));
        return 0;
    }
    return 1;
}

static int draw_screen(const theme_index* index, const uint8_t* theme, uint32_t theme_size,
                       uint16_t* fb) {
    int ok = 1;
    int32_t i;
    for (i = 0; ok && i < (int32_t)(sizeof kScreen / sizeof kScreen[0]); ++i) {
        ok = draw_placed(index, theme, theme_size, fb, &kScreen[i]);
    }
    for (i = 0; ok && i < (int32_t)(sizeof kApps / sizeof kApps[0]); ++i) {
        const struct placed app = {"apps", kApps[i], {i % 4 * 60, 92 + i / 4 * 54, 60, 54}, KEYED};
        ok = draw_placed(index, theme, theme_size, fb, &app);
    }
    for (i = 0; ok && i < (int32_t)(sizeof kDock / sizeof kDock[0]); ++i) {
        const struct placed app = {"dock", kDock[i], {12 + i * 54, 262, 54, 52}, KEYED};
        ok = draw_placed(index, theme, theme_size, fb, &app);
    }
    return ok;
}

/* RGB565 widened to 8 bits a channel by repeating each channel's top bits. */
static int write_png(const char* path, const uint16_t* fb) {
    static uint8_t rgb[SCREEN_W * SCREEN_H * 3];
    size_t i;
    for (i = 0; i < SCREEN_W * SCREEN_H; ++i) {
        const unsigned r = fb[i] >> 11, g = fb[i] >> 5 & 0x3Fu, b = fb[i] & 0x1Fu;
        rgb[3 * i] = (uint8_t)(r << 3 | r >> 2);
        rgb[3 * i + 1] = (uint8_t)(g << 2 | g >> 4);
        rgb[3 * i + 2] = (uint8_t)(b << 3 | b >> 2);
    }
    if (stbi_write_png(path, SCREEN_W, SCREEN_H, 3, rgb, SCREEN_W * 3) == 0) {
        fprintf(stderr, "device-screen: cannot write %s\n", path);
        return 0;
    }
    return 1;
}

int main(int argc, char** argv) {
    static uint16_t fb[SCREEN_W * SCREEN_H];
    uint8_t window[THEME_MIN_WINDOW];
    char path[4096];
    theme_index index;
    theme_status st;
    FILE* index_file;
    long index_size;
    int theme, ok = 1;
    if (argc != 4 || strlen(argv[1]) > sizeof path - 32) {
        fprintf(stderr, "usage: device-screen ROOT SCREEN0.png SCREEN2.png\n");
        return 2;
    }
    sprintf(path, "%s/Index.bin", argv[1]);
    index_file = fopen(path, "rb");
    index_size = index_file != NULL ? file_size(index_file) : -1;
    st = index_size > 0 ? theme_index_open_io(&index, read_file, index_file, (uint32_t)index_size,
                                              window, sizeof window)
                        : THEME_E_READ;
    if (st != THEME_OK) {
        fprintf(stderr, "device-screen: %s: %s\n", path, theme_status_text(st));
        ok = 0;
    }
    for (theme = 0; ok && theme <= 2; theme += 2) {
        uint32_t theme_size = 0;
        uint8_t* bytes;
        sprintf(path, "%s/%d/Theme.bin", argv[1], theme);
        bytes = load(path, &theme_size);
        if (bytes == NULL) {
            fprintf(stderr, "device-screen: cannot read %s\n", path);
            ok = 0;
            break;
        }
        memset(fb, 0, sizeof fb);
        ok = draw_screen(&index, bytes, theme_size, fb) && write_png(argv[theme == 0 ? 2 : 3], fb);
        free(bytes);
    }
    if (index_file != NULL) {
        fclose(index_file);
    }
    return ok ? 0 : 1;
}
