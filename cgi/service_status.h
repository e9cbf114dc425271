/*
 * orvath: the service as the page shows it: the outcome of a restart in the
 * answers of the changing actions ("getServiceStatus" is a handler).
 */
#ifndef ORVATH_SERVICE_STATUS_H
#define ORVATH_SERVICE_STATUS_H

#include <json/json.h>


/* Restarts the service and answers "serviceRestarted", with "serviceError"
 * (exit status and the last lines of the start-up script's output) when it
 * did not restart. */
void restartService(Json::Value &answer);

#endif /* ORVATH_SERVICE_STATUS_H */
