// The benchmark's yardstick: a CGI program built with the same flags and
// libraries as orvath that reads the request and answers {"success":true}.
#include <json/json.h>

#include "quomodhcp.h"
#include "vorl.h"
#include "webvard.h"

// Loaded like orvath's: the linker keeps a library only when it is used.
void *volatile keepLinked[] = {(void *)&isIfTagEnable, (void *)&VORLCFileExist};

int main()
{
    Webvard webvard(true);
    webvard.IsAuthorized("admin", 0, CGI_POSITION_ADMIN);
    Json::Value answer(Json::objectValue);
    answer["success"] = true;
    webvard.WriteHeader("application/json");
    webvard.WriteBody(answer);
    return 0;
}
