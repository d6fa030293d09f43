/* SPDX-License-Identifier: Apache-2.0 */
/* What the test firmwares need of the board they run on, in an emulator. */
#ifndef BOARD_H
#define BOARD_H

#include <stdint.h>

/* Sets up the serial port and the cycle counter. */
void board_start(void);

/* Sends count bytes out of the serial port: on AVR as one line of lowercase hex
 * (the simulator passes only text), elsewhere as they are. */
void board_send(const unsigned char *bytes, unsigned count);

/* Sends a line of text ("name value"), for the benchmark's figures. */
void board_report(const char *name, uint32_t value);

/* CPU cycles since board_start, modulo 2^32. */
uint32_t board_cycles(void);

/* Waits until everything sent has left, then ends the emulator's run. */
void board_stop(void);

#endif
