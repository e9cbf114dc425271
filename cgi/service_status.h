/*
 * orvath: the service as the page shows it. The outcome of a restart in the
 * answers of the changing actions, the service's status, and the subnets'
 * own switches while an interface's service is off.
 */
#ifndef ORVATH_SERVICE_STATUS_H
#define ORVATH_SERVICE_STATUS_H

#include <json/json.h>

#include <vector>

#include "requests.h"

/* Restarts the service and answers "serviceRestarted", with "serviceError"
 * (exit status and the last lines of the start-up script's output) when it
 * did not restart. */
void restartService(Json::Value &answer);

/* Switching an interface's service off keeps which subnets were switched on:
 * the ordinary rows of the table when it is given (else the settings files),
 * and the PXE subnet. Switching it on forgets them. */
void rememberSwitches(const char *szIfName, const std::vector<SubnetRow> *table);
void forgetSwitches(const char *szIfName);
/* Gives each row of a "subnetList" its own switch, "rowActive": while the
 * service is off, the kept one; otherwise the same as "activated". */
void putRowSwitches(const char *szIfName, Json::Value &subnets);

#endif /* ORVATH_SERVICE_STATUS_H */
