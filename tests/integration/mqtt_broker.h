// A real mosquitto broker for the tests: on a free loopback port, its
// configuration and password file in a scratch folder, ready once it takes
// a connection. It can be killed and started again on the same port, as a
// broker that crashes and is restarted.
#pragma once

#include <chrono>
#include <csignal>
#include <memory>
#include <string>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "child_process.h"
#include "files.h"

// A port nobody listens on now (the system's choice of an ephemeral one).
inline int free_loopback_port() {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    close(s);
    return ntohs(address.sin_port);
}

inline bool takes_connections(int port) {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool taken = connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(s);
    return taken;
}

class MqttBroker {
  public:
    // `user` and `password`, when given, are the only credentials it takes.
    explicit MqttBroker(const std::string& user = "", const std::string& password = "") {
        std::string config = "listener " + std::to_string(port_) +
                             " 127.0.0.1\npersistence false\nlog_dest stderr\n";
        // Run as root, mosquitto would become its own user, who cannot read
        // the scratch folder.
        if (geteuid() == 0) config += "user root\n";
        if (user.empty()) {
            config += "allow_anonymous true\n";
        } else {
            std::string passwords = dir_ / "passwords";
            write_file(passwords, "");
            run_program({"/usr/bin/mosquitto_passwd", "-b", passwords, user, password});
            config += "allow_anonymous false\npassword_file " + passwords + "\n";
        }
        write_file(dir_ / "mosquitto.conf", config);
        start();
    }
    // Started (again), and ready once a connection is taken.
    bool start() {
        process_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{"/usr/sbin/mosquitto", "-c", dir_ / "mosquitto.conf"});
        return wait_until([&] { return takes_connections(port_); }, std::chrono::seconds(20));
    }
    void kill() {
        process_->send(SIGKILL);
        process_->finish();
    }
    int port() const { return port_; }
    // mqtt://127.0.0.1:PORT/TOPIC
    std::string url(const std::string& topic) const {
        return "mqtt://127.0.0.1:" + std::to_string(port_) + "/" + topic;
    }

  private:
    ScratchDirectory dir_;
    int port_ = free_loopback_port();
    std::unique_ptr<ChildProcess> process_;
};
