/*
 * orvath: the program's entry. One request is one process.
 */
#include <sys/stat.h>

#include "orvath.h"

int main()
{
    /* Files and directories this program makes are never writable by
     * others, whatever umask the web server passed on. */
    umask(022);
    DhcpHandler handler;
    dispatchAction(handler);
    return 0;
}
