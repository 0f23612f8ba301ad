// termios2 lives in the kernel headers, which clash with <termios.h>; keep it
// in a unit of its own.
#include <asm/ioctls.h>
#include <asm/termbits.h>

extern "C" int ioctl(int fd, unsigned long request, ...);

bool SetArbitraryBaud(int fd, int baud) {
    struct termios2 t2 {};
    if (ioctl(fd, TCGETS2, &t2) != 0)
        return false;
    t2.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    t2.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t2.c_ispeed = static_cast<speed_t>(baud);
    t2.c_ospeed = static_cast<speed_t>(baud);
    return ioctl(fd, TCSETS2, &t2) == 0;
}
