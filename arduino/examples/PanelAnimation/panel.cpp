/* SPDX-License-Identifier: Apache-2.0 */
#include <Arduino.h>
#include <SPI.h>

#include "panel.h"

/* The controller's commands; their arguments are sent as commands too. */
#define COLUMN_WINDOW 0x15
#define ROW_WINDOW 0x75
#define CONTRAST 0x81
#define REMAP 0xA0
#define START_LINE 0xA1
#define OFFSET 0xA2
#define NORMAL 0xA4
#define MULTIPLEX 0xA8
#define LINEAR_GRAY 0xB9
#define DISPLAY_OFF 0xAE
#define DISPLAY_ON 0xAF

/* Remap 0x51, as 128 x 128 modules are wired (the controller's last segment at the
 * left edge, its last row line at the top): column addresses and rows reversed (bits 0
 * and 4), which puts memory column 0 at the left with its high nibble first and memory
 * row 0 at the top; addresses run along the row (bit 2 clear); odd and even rows on
 * the sides of the glass (bit 6). A module that shows the picture turned half round
 * wants 0x42 instead. */
static const unsigned char setup_commands[] = {
    DISPLAY_OFF, REMAP, 0x51, START_LINE, 0, OFFSET, 0, MULTIPLEX, 127,
    CONTRAST, 0x80, LINEAR_GRAY, NORMAL,
};

static void command(unsigned char byte)
{
    digitalWrite(PANEL_DC, LOW);
    SPI.transfer(byte);
}

static void select_panel(void)
{
    SPI.beginTransaction(SPISettings(8000000, MSBFIRST, SPI_MODE0));
    digitalWrite(PANEL_CS, LOW);
}

static void release_panel(void)
{
    digitalWrite(PANEL_CS, HIGH);
    SPI.endTransaction();
}

static void set_window(unsigned char first_column, unsigned char last_column,
                       unsigned char first_row, unsigned char last_row)
{
    command(COLUMN_WINDOW);
    command(first_column);
    command(last_column);
    command(ROW_WINDOW);
    command(first_row);
    command(last_row);
    digitalWrite(PANEL_DC, HIGH);
}

void panel_start(void)
{
    unsigned k;
    digitalWrite(PANEL_CS, HIGH); /* high before it drives the pin: no stray select */
    pinMode(PANEL_CS, OUTPUT);
    pinMode(PANEL_DC, OUTPUT);
    pinMode(PANEL_RST, OUTPUT);
    SPI.begin();
    digitalWrite(PANEL_RST, LOW);
    delay(10);
    digitalWrite(PANEL_RST, HIGH);
    delay(10);
    select_panel();
    for (k = 0; k < sizeof setup_commands; ++k) command(setup_commands[k]);
    set_window(0, 63, 0, 127);
    for (k = 0; k < 64u * 128u; ++k) SPI.transfer(0);
    command(DISPLAY_ON);
    release_panel();
}

void panel_frame_begin(void)
{
    select_panel();
}

void panel_window(unsigned char first_byte, unsigned char last_byte,
                  unsigned char first_row, unsigned char last_row)
{
    set_window(PANEL_FRAME_COLUMN + first_byte, PANEL_FRAME_COLUMN + last_byte,
               PANEL_FRAME_ROW + first_row, PANEL_FRAME_ROW + last_row);
}

void panel_write(const unsigned char *bytes, unsigned char count)
{
    while (count--) SPI.transfer(*bytes++);
}

void panel_frame_end(void)
{
    release_panel();
}
