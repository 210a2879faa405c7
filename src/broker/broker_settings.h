// How kxview reaches a broker: its address, and credentials and TLS taken as
// mosquitto's own clients take them. A password is read from a file, never
// from the command line, where ps would show it to every user.
#pragma once

#include <string>

#include "broker_address.h"

struct BrokerSettings {
    BrokerAddress address;
    std::string username;          // empty: anonymous
    std::string password_file;     // the password is its first line; empty: none
    std::string cafile, capath;    // either: TLS, the broker's certificate checked against them
    std::string certfile, keyfile; // the client's own certificate, for a broker that asks
};

bool uses_tls(const BrokerSettings& settings);

// The port given, or MQTT's for the connection's kind.
int broker_port(const BrokerSettings& settings);

// "mqtt://HOST:PORT/TOPIC", as messages name the broker.
std::string broker_name(const BrokerSettings& settings);

// The password: the file's first line, without its line end. Returns false
// with the reason in `why`.
bool read_password(const std::string& path, std::string* password, std::string* why);
