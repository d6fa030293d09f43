/* panel.h: a small driver for a 128 x 128 OLED panel of 16 gray levels with an
 * SSD1327-class controller, on the board's hardware SPI (MOSI and SCK), with
 * chip select on D10, data/command on D9 (low: command, high: data) and reset on D8.
 *
 * The controller keeps the picture in its own memory: 128 rows of 64 bytes, two
 * pixels a byte. Set up as panel_start does it (remap 0x51), the left pixel of each
 * byte is its high nibble, as in a grayframe frame, and the 102 x 80 frame lies in
 * the middle of the panel: its 51 bytes a row at column bytes 6 to 56 (pixels 12 to
 * 113) and its 80 rows at panel rows 24 to 103.
 *
 * Chip select goes low at panel_start and at panel_frame_begin, and stays low until
 * the call that ends the set-up or the frame: every frame is one chip-select period,
 * even one that writes nothing. */
#ifndef PANEL_H
#define PANEL_H

#define PANEL_CS 10
#define PANEL_DC 9
#define PANEL_RST 8

/* Where the frame's top-left byte lies in the panel's memory. */
#define PANEL_FRAME_COLUMN 6
#define PANEL_FRAME_ROW 24

/* Resets the controller, sets it up, clears its memory (all black) and turns the
 * panel on: one chip-select period. */
void panel_start(void);

/* Begins a frame's writes (chip select low). */
void panel_frame_begin(void);

/* Sets the window of the frame that the next bytes fill, left to right, then top to
 * bottom: bytes first_byte to last_byte (0 to 50) of rows first_row to last_row (0
 * to 79). */
void panel_window(unsigned char first_byte, unsigned char last_byte,
                  unsigned char first_row, unsigned char last_row);

/* Writes count bytes into the window, from where the last write stopped. */
void panel_write(const unsigned char *bytes, unsigned char count);

/* Ends the frame's writes (chip select high). */
void panel_frame_end(void);

#endif
