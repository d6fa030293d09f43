/* SPDX-License-Identifier: Apache-2.0 */
/* A display driver as the animation uses it: a 4-bit gray controller of the
 * SSD1322/SSD1327 kind, which keeps the picture in its own memory and is sent a frame
 * row by row, 51 bytes a row, two pixels a byte. */
#ifndef DISPLAY_H
#define DISPLAY_H

/* Prepares the bus and the controller. */
void display_start(void);

/* Sends row y (0 to 79, from the top) of the frame being drawn. */
void display_row(unsigned char y, const unsigned char *bytes);

/* Ends the frame: the rows sent since the last call are shown. */
void display_show(void);

#endif
