/* The least work drawing an RLE4 image takes: decoders that trust their runs, the yardstick the
 * device reader is measured against (make test-device counts both on the same images). Each
 * takes the runs (the bytes after the image's 16-byte header) of an image the packer wrote, and
 * draws its top row at fb, each next row stride pixels on, on a little-endian CPU. Nothing is
 * checked: broken runs draw anywhere. */
#ifndef DEVICE_FLOOR_H
#define DEVICE_FLOOR_H

#include <stdint.h>

/* The whole image. */
void floor_draw(const uint8_t* runs, uint16_t* fb, uint32_t stride);

/* The whole image but its pixels of value key (the runs' little-endian value), which stay. */
void floor_draw_keyed(const uint8_t* runs, uint16_t* fb, uint32_t stride, uint16_t key);

/* Pixels [c0, c1) of rows [r0, r1), the first at fb: the rows above passed by their control
 * units, and so the runs of a row beside the clip; nothing below it read. */
void floor_draw_clipped(const uint8_t* runs, uint16_t* fb, uint32_t stride, uint32_t c0,
                        uint32_t c1, uint32_t r0, uint32_t r1);

/* The same three written apart, in portable C on the C library's memcpy: the check that the ones
 * above are a floor (they must be no slower). */
void plain_draw(const uint8_t* runs, uint16_t* fb, uint32_t stride);
void plain_draw_keyed(const uint8_t* runs, uint16_t* fb, uint32_t stride, uint16_t key);
void plain_draw_clipped(const uint8_t* runs, uint16_t* fb, uint32_t stride, uint32_t c0,
                        uint32_t c1, uint32_t r0, uint32_t r1);

#endif
