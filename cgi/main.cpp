/*
 * orvath: the program's entry. One request is one process.
 */
#include <sys/stat.h>

#include "dispatch.h"

int main()
{
    /* Files and directories this program makes are never writable by
     * others, whatever umask the web server passed on. */
    umask(022);
    Webvard cgi(true);
    dispatchRequest(cgi);
    return 0;
}
