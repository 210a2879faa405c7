#include "broker_link.h"

#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <mosquitto.h>
#include <mqtt_protocol.h>
#include <unistd.h>

namespace {

// A broker that misses two of these is taken as gone.
constexpr int KEEPALIVE_SECONDS = 10;
// Reconnecting backs off from one second to this many.
constexpr unsigned RECONNECT_MOST_SECONDS = 8;
// Records handed to the library and not yet written out. Past this the
// broker (or the network) is slower than the line, and they wait in the
// ring, where the oldest make room.
constexpr int MOST_IN_FLIGHT = 64;

std::string sub_topic(const BrokerLink& link, std::string_view sub) {
    return link.topic + std::string(sub);
}

// One message fewer in libmosquitto's hands; never below none, since a
// reconnect forgets those of the session that went.
void release_in_flight(BrokerLink* link) {
    int held = link->in_flight.load();
    while (held > 0 && !link->in_flight.compare_exchange_weak(held, held - 1)) {
    }
}

// Counted in flight before libmosquitto has it: its network thread may send
// it and answer (on_publish) before the call returns, and an answer that
// found nothing counted would leave the count one too high for good.
bool publish_counted(BrokerLink* link, const std::string& topic, int length, const void* bytes,
                     int qos, bool retain, const mosquitto_property* properties) {
    ++link->in_flight;
    if (mosquitto_publish_v5(link->session, nullptr, topic.c_str(), length, bytes, qos, retain,
                             properties) == MOSQ_ERR_SUCCESS)
        return true;
    release_in_flight(link);
    return false;
}

void publish_text(BrokerLink* link, const std::string& topic, std::string_view text, bool retain) {
    publish_counted(link, topic, static_cast<int>(text.size()), text.data(), 1, retain, nullptr);
}

void publish_text(BrokerLink* link, std::string_view sub, std::string_view text, bool retain) {
    publish_text(link, sub_topic(*link, sub), text, retain);
}

// Both ends never block: a taker clears what is there, and a signal that
// finds the pipe full is one already.
bool open_arrival_signal(BrokerLink* link, std::string* why) {
    int ends[2];
    if (pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0) {
        *why = std::string("arrival signal: ") + std::strerror(errno);
        return false;
    }
    link->arrivals = ends[0];
    link->ring.wake = ends[1];
    return true;
}

void close_arrival_signal(BrokerLink* link) {
    for (int* end : {&link->arrivals, &link->ring.wake}) {
        if (*end >= 0) close(*end);
        *end = -1;
    }
}

// A subscription is the session's: after a reconnect it is made again.
void subscribe_run(BrokerLink* link) {
    for (std::string_view sub : {FRAMES_TOPIC, JOURNAL_TOPIC, STATE_TOPIC}) {
        std::string topic = sub_topic(*link, sub);
        int qos = sub == FRAMES_TOPIC ? 0 : 1;
        mosquitto_subscribe_v5(link->session, nullptr, topic.c_str(), qos, 0, nullptr);
    }
}

void on_connect(mosquitto*, void* data, int reason, int, const mosquitto_property*) {
    auto link = static_cast<BrokerLink*>(data);
    if (reason == 0) {
        // What was queued before the connection went is gone with it.
        link->in_flight = 0;
        if (link->role == ROLE_PUBLISHER) {
            publish_text(link, RUN_TOPIC, link->description, true);
            publish_text(link, STATE_TOPIC, STATE_ONLINE, true);
        } else {
            subscribe_run(link);
        }
    }
    {
        std::lock_guard<std::mutex> held(link->answer_guard);
        link->refusal = reason;
        link->connected = reason == 0;
    }
    link->answered.notify_all();
}

void on_disconnect(mosquitto*, void* data, int, const mosquitto_property*) {
    static_cast<BrokerLink*>(data)->connected = false;
}

void on_publish(mosquitto*, void* data, int, int, const mosquitto_property*) {
    release_in_flight(static_cast<BrokerLink*>(data));
}

// A frame message's user properties, each taken as the format says.
void read_properties(const mosquitto_property* properties, BrokerMessage* message) {
    char* name = nullptr;
    char* value = nullptr;
    for (const mosquitto_property* at = mosquitto_property_read_string_pair(
             properties, MQTT_PROP_USER_PROPERTY, &name, &value, false);
         at != nullptr; at = mosquitto_property_read_string_pair(at, MQTT_PROP_USER_PROPERTY, &name,
                                                                 &value, true)) {
        read_frame_property(name, value, message);
        std::free(name);
        std::free(value);
        name = value = nullptr;
    }
}

void take_frame(BrokerLink* link, const mosquitto_message* received,
                const mosquitto_property* properties) {
    BrokerMessage message;
    read_properties(properties, &message);
    if (take_frame_payload(received->payload, static_cast<size_t>(received->payloadlen), &message))
        ring_put(&link->ring, message);
    else
        ++link->malformed;
}

void take_journal_line(BrokerLink* link, const mosquitto_message* received) {
    BrokerMessage message;
    message.kind = MESSAGE_JOURNAL;
    message.length = std::min(static_cast<size_t>(received->payloadlen), MESSAGE_BYTES);
    std::memcpy(message.bytes, received->payload, message.length);
    ring_put(&link->ring, message);
}

void on_message(mosquitto*, void* data, const mosquitto_message* received,
                const mosquitto_property* properties) {
    auto link = static_cast<BrokerLink*>(data);
    std::string_view topic(received->topic);
    if (!topic.starts_with(link->topic)) return;
    topic.remove_prefix(link->topic.size());
    if (topic == FRAMES_TOPIC) {
        take_frame(link, received, properties);
    } else if (topic == JOURNAL_TOPIC) {
        take_journal_line(link, received);
    } else if (topic == STATE_TOPIC) {
        std::string_view state(static_cast<const char*>(received->payload),
                               static_cast<size_t>(received->payloadlen));
        link->publisher_state = state == STATE_ONLINE ? PUBLISHER_ONLINE : PUBLISHER_OFFLINE;
    }
}

// Credentials and TLS, before the first connection.
bool secure_session(BrokerLink* link, const BrokerSettings& settings, std::string* why) {
    std::string password;
    if (!settings.password_file.empty() && !read_password(settings.password_file, &password, why))
        return false;
    if (!settings.username.empty() || !password.empty()) {
        const char* user = settings.username.empty() ? nullptr : settings.username.c_str();
        int result = mosquitto_username_pw_set(link->session, user,
                                               password.empty() ? nullptr : password.c_str());
        if (result != MOSQ_ERR_SUCCESS) {
            *why = std::string("credentials: ") + mosquitto_strerror(result);
            return false;
        }
    }
    if (!uses_tls(settings)) return true;
    auto given = [](const std::string& text) { return text.empty() ? nullptr : text.c_str(); };
    int result = mosquitto_tls_set(link->session, given(settings.cafile), given(settings.capath),
                                   given(settings.certfile), given(settings.keyfile), nullptr);
    if (result != MOSQ_ERR_SUCCESS) *why = std::string("TLS: ") + mosquitto_strerror(result);
    return result == MOSQ_ERR_SUCCESS;
}

void set_callbacks(BrokerLink* link) {
    mosquitto_connect_v5_callback_set(link->session, on_connect);
    mosquitto_disconnect_v5_callback_set(link->session, on_disconnect);
    if (link->role == ROLE_PUBLISHER) {
        mosquitto_publish_v5_callback_set(link->session, on_publish);
        std::string state = sub_topic(*link, STATE_TOPIC);
        mosquitto_will_set_v5(link->session, state.c_str(), static_cast<int>(STATE_OFFLINE.size()),
                              STATE_OFFLINE.data(), 1, true, nullptr);
    } else {
        mosquitto_message_v5_callback_set(link->session, on_message);
    }
}

} // namespace

bool start_broker_link(BrokerLink* link, int role, const BrokerSettings& settings,
                       std::string* why) {
    static std::once_flag library;
    std::call_once(library, [] { mosquitto_lib_init(); });
    link->role = role;
    link->topic = settings.address.topic;
    link->frames_topic = sub_topic(*link, FRAMES_TOPIC);
    link->journal_topic = sub_topic(*link, JOURNAL_TOPIC);
    if (role == ROLE_VIEWER && !open_arrival_signal(link, why)) return false;
    link->session = mosquitto_new(nullptr, true, link);
    if (link->session == nullptr) {
        *why = std::strerror(errno);
        close_arrival_signal(link);
        return false;
    }
    mosquitto_int_option(link->session, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    mosquitto_reconnect_delay_set(link->session, 1, RECONNECT_MOST_SECONDS, true);
    set_callbacks(link);
    if (!secure_session(link, settings, why)) {
        mosquitto_destroy(link->session);
        link->session = nullptr;
        close_arrival_signal(link);
        return false;
    }
    // A broker not there yet is no failure: the network thread keeps trying.
    mosquitto_connect_async(link->session, settings.address.host.c_str(), broker_port(settings),
                            KEEPALIVE_SECONDS);
    mosquitto_loop_start(link->session);
    return true;
}

int wait_for_broker(BrokerLink* link, double seconds) {
    std::unique_lock<std::mutex> held(link->answer_guard);
    link->answered.wait_for(held, std::chrono::duration<double>(seconds),
                            [&] { return link->refusal != NO_ANSWER; });
    return link->refusal;
}

const char* refusal_text(int reason) { return mosquitto_reason_string(reason); }

int arrival_signal(const BrokerLink* link) { return link->arrivals; }

void clear_arrival_signal(BrokerLink* link) {
    char signals[64];
    while (link->arrivals >= 0 && read(link->arrivals, signals, sizeof signals) > 0) {
    }
}

namespace {

void send_frame(BrokerLink* link, const BrokerMessage& message) {
    FrameProperties texts;
    format_frame_properties(message, &texts);
    mosquitto_property* properties = nullptr;
    mosquitto_property_add_string_pair(&properties, MQTT_PROP_USER_PROPERTY,
                                       PROPERTY_SEQUENCE.data(), texts.sequence);
    if (texts.time[0] != '\0')
        mosquitto_property_add_string_pair(&properties, MQTT_PROP_USER_PROPERTY,
                                           PROPERTY_TIME.data(), texts.time);
    mosquitto_property_add_string_pair(&properties, MQTT_PROP_USER_PROPERTY,
                                       PROPERTY_CHECKSUM.data(), texts.checksum);
    mosquitto_property_add_string_pair(&properties, MQTT_PROP_USER_PROPERTY,
                                       PROPERTY_SKIPPED.data(), texts.skipped);
    if (!publish_counted(link, link->frames_topic, static_cast<int>(message.length), message.bytes,
                         0, false, properties))
        ++link->unsent;
    mosquitto_property_free_all(&properties);
}

} // namespace

void send_waiting(BrokerLink* link) {
    while (link->connected && link->in_flight < MOST_IN_FLIGHT &&
           ring_take(&link->ring, &link->sending)) {
        const BrokerMessage& message = link->sending;
        if (message.kind == MESSAGE_FRAME) {
            send_frame(link, message);
        } else {
            publish_text(
                link, link->journal_topic,
                std::string_view(reinterpret_cast<const char*>(message.bytes), message.length),
                false);
        }
    }
}

void stop_broker_link(BrokerLink* link) {
    if (link->session == nullptr) return;
    if (link->role == ROLE_PUBLISHER && link->connected) {
        send_waiting(link);
        publish_text(link, STATE_TOPIC, STATE_OFFLINE, true);
    }
    mosquitto_disconnect(link->session);
    mosquitto_loop_stop(link->session, false);
    mosquitto_destroy(link->session);
    link->session = nullptr;
    link->connected = false;
    close_arrival_signal(link);
}
