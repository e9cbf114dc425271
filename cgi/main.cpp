/*
 * orvath: the program's entry. One request is one process.
 */
#include <malloc.h>
#include <sys/stat.h>

#include "dispatch.h"

int main()
{
    /* Files and directories this program makes are never writable by
     * others, whatever umask the web server passed on. */
    umask(022);
    /* A save holds a few large buffers for a moment (the request's body,
     * the reservation list and its fragment): each goes back to the system
     * when freed instead of growing the heap for the rest of the request. */
    mallopt(M_MMAP_THRESHOLD, 64 * 1024);
    Webvard cgi(true);
    dispatchRequest(cgi);
    return 0;
}
