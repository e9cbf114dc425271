// Validation of request values before anything is written.
#pragma once
