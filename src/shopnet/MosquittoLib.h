#pragma once
#include <string>

// libmosquitto's global set-up, done once for the process whichever thread
// asks first (its own init is not thread-safe). Never undone: clients may live
// until exit.
void EnsureMosquittoLib();

// What a libmosquitto result code means; for MOSQ_ERR_ERRNO the errno taken
// right after the call.
std::string MosquittoErrorText(int rc, int savedErrno);
// What a broker's answer to CONNECT means.
std::string ConnackText(int reasonCode);
