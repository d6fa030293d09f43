/* SPDX-License-Identifier: Apache-2.0 */
/* The Stellaris LM3S6965 evaluation board as qemu-system-arm -M lm3s6965evb has it:
 * UART0 sends bytes as they are, semihosting ends the run. The startup code, vector
 * table and all, is here too. */
#include "board.h"

#define UART0_DR (*(volatile uint32_t *)0x4000C000u)
#define UART0_FR (*(volatile uint32_t *)0x4000C018u)
#define UART_FR_TXFF (1u << 5)
#define UART_FR_BUSY (1u << 3)

extern uint32_t _sidata[], _sdata[], _edata[], _sbss[], _ebss[], _estack[];
int main(void);

static void reset(void)
{
    uint32_t *from = _sidata, *to = _sdata;
    while (to < _edata) *to++ = *from++;
    for (to = _sbss; to < _ebss; ++to) *to = 0;
    main();
    board_stop();
}

static void halt(void)
{
    for (;;) {
    }
}

__attribute__((section(".vectors"), used)) static const uintptr_t vectors[] = {
    (uintptr_t)_estack, (uintptr_t)reset, (uintptr_t)halt, (uintptr_t)halt,
};

void board_start(void)
{
}

static void put(unsigned char c)
{
    while (UART0_FR & UART_FR_TXFF) {
    }
    UART0_DR = c;
}

void board_send(const unsigned char *bytes, unsigned count)
{
    unsigned k;
    for (k = 0; k < count; ++k) put(bytes[k]);
}

void board_report(const char *name, uint32_t value)
{
    (void)name;
    (void)value;
}

uint32_t board_cycles(void)
{
    return 0;
}

void board_stop(void)
{
    register uint32_t reason __asm__("r0") = 0x18;        /* SYS_EXIT */
    register uint32_t code __asm__("r1") = 0x20026;       /* application exit */
    while (UART0_FR & UART_FR_BUSY) {
    }
    __asm__ volatile("bkpt 0xab" : : "r"(reason), "r"(code) : "memory");
    halt();
}
