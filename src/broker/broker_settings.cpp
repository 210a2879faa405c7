#include "broker_settings.h"

#include <cerrno>
#include <cstring>
#include <fstream>

bool uses_tls(const BrokerSettings& settings) {
    return !settings.cafile.empty() || !settings.capath.empty();
}

int broker_port(const BrokerSettings& settings) {
    if (settings.address.port != 0) return settings.address.port;
    return uses_tls(settings) ? MQTT_TLS_PORT : MQTT_PORT;
}

std::string broker_name(const BrokerSettings& settings) {
    return std::string(BROKER_SCHEME) + settings.address.host + ":" +
           std::to_string(broker_port(settings)) + "/" + settings.address.topic;
}

bool read_password(const std::string& path, std::string* password, std::string* why) {
    std::ifstream file(path);
    if (!file) {
        *why = path + ": " + std::strerror(errno);
        return false;
    }
    std::getline(file, *password);
    if (!password->empty() && password->back() == '\r') password->pop_back();
    if (password->empty()) {
        *why = path + ": no password on its first line";
        return false;
    }
    return true;
}
