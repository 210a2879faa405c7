// Where a broker is and the topic a run goes under, as the command line
// names them: "mqtt://HOST[:PORT]/TOPIC".
#pragma once

#include <string>
#include <string_view>

constexpr std::string_view BROKER_SCHEME = "mqtt://";
// MQTT's own ports: plain, and over TLS.
constexpr int MQTT_PORT = 1883;
constexpr int MQTT_TLS_PORT = 8883;

struct BrokerAddress {
    std::string host;
    int port = 0;      // 0: MQTT's port for the connection's kind
    std::string topic; // the run's topic; its messages go to sub-topics of it
};

// True when `text` is meant as a broker, not a recording's file name.
bool names_broker(std::string_view text);

// Reads "mqtt://HOST[:PORT]/TOPIC". A topic cannot hold MQTT's wildcards
// (+ and #): a run is published under one name. Returns false with the
// reason in `why`.
bool parse_broker_address(std::string_view text, BrokerAddress* address, std::string* why);
