#include "shopnet/MosquittoLib.h"

#include <mosquitto.h>

#include <cstring>

void EnsureMosquittoLib() {
    static const int done = mosquitto_lib_init();
    (void)done;
}

std::string MosquittoErrorText(int rc, int savedErrno) {
    if (rc == MOSQ_ERR_ERRNO)
        return std::strerror(savedErrno);
    if (rc == MOSQ_ERR_EAI)
        return "the broker's host name cannot be resolved";
    return mosquitto_strerror(rc);
}

std::string ConnackText(int reasonCode) {
    return mosquitto_connack_string(reasonCode);
}
