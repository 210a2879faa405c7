#include "broker_address.h"

#include <charconv>

bool names_broker(std::string_view text) { return text.starts_with(BROKER_SCHEME); }

namespace {

bool parse_port(std::string_view text, int* port) {
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *port);
    return error == std::errc() && end == text.data() + text.size() && *port > 0 && *port <= 65535;
}

} // namespace

bool parse_broker_address(std::string_view text, BrokerAddress* address, std::string* why) {
    if (!names_broker(text)) {
        *why = "expected mqtt://HOST[:PORT]/TOPIC";
        return false;
    }
    std::string_view rest = text.substr(BROKER_SCHEME.size());
    size_t slash = rest.find('/');
    std::string_view where = rest.substr(0, slash);
    std::string_view topic = slash == std::string_view::npos ? "" : rest.substr(slash + 1);
    size_t colon = where.rfind(':');
    std::string_view host = where.substr(0, colon);
    address->port = 0;
    if (colon != std::string_view::npos && !parse_port(where.substr(colon + 1), &address->port)) {
        *why = "the port is not a number from 1 to 65535";
        return false;
    }
    if (host.empty()) {
        *why = "no host: expected mqtt://HOST[:PORT]/TOPIC";
        return false;
    }
    if (topic.empty() || topic.ends_with('/')) {
        *why = "no topic: expected mqtt://HOST[:PORT]/TOPIC";
        return false;
    }
    if (topic.find_first_of(std::string_view("+#\0", 3)) != std::string_view::npos) {
        *why = "a topic cannot hold +, # or a NUL";
        return false;
    }
    address->host = host;
    address->topic = topic;
    return true;
}
