#include "broker_command_line.h"

#include "broker_link.h"

namespace {

// Takes the address into `settings`, or says what is wrong with it.
CLI::Validator broker_address(BrokerSettings* settings) {
    return CLI::Validator(
        [settings](std::string& text) -> std::string {
            std::string why;
            if (parse_broker_address(text, &settings->address, &why)) return {};
            return "invalid value '" + text + "': " + why;
        },
        "");
}

// A RECORDING that names a broker makes kxview a viewer; anything else
// stays a file's name.
CLI::Validator viewed_broker(BrokerSettings* settings) {
    return CLI::Validator(
        [settings](std::string& text) -> std::string {
            if (!names_broker(text)) return {};
            return broker_address(settings)(text);
        },
        "");
}

void add_security_options(CLI::App* app, BrokerSettings* s) {
    app->add_option("--username", s->username, "the user name the broker knows kxview by")
        ->type_name("NAME");
    app->add_option("--password-file", s->password_file,
                    "read the broker password from the first line of FILE\n"
                    "(never given on the command line, where ps shows it)")
        ->type_name("FILE");
    app->add_option("--cafile", s->cafile,
                    "connect with TLS, checking the broker's certificate against FILE")
        ->type_name("FILE");
    app->add_option("--capath", s->capath,
                    "connect with TLS, checking against the certificates in DIR")
        ->type_name("DIR");
    app->add_option("--cert", s->certfile, "kxview's own certificate, for a broker that asks")
        ->type_name("FILE");
    app->add_option("--key", s->keyfile, "the private key of --cert")->type_name("FILE");
}

} // namespace

void add_broker_options(CLI::App* app, CLI::Option* recording, const std::string* recorded,
                        BrokerCommandLine* line) {
    recording->check(viewed_broker(&line->settings));
    CLI::Option* publish =
        app->add_option("--publish", line->publish,
                        "live: publish every record and the journal to an MQTT broker,\n"
                        "under TOPIC (mqtt://HOST[:PORT]/TOPIC, port 1883, 8883 with TLS)")
            ->type_name("URL")
            ->check(broker_address(&line->settings))
            ->excludes(recording);
    CLI::Option* log = app->add_option("--log", line->log,
                                       "viewing mqtt://...: keep a copy of the records in FILE,\n"
                                       "in varno.dat's format, with its journal beside it")
                           ->type_name("FILE")
                           ->needs(recording);
    add_security_options(app, &line->settings);
    app->callback([=] {
        bool viewing = !recorded->empty() && names_broker(*recorded);
        if (*log && !viewing)
            throw CLI::ValidationError("--log", "a copy is kept only when viewing mqtt://...");
        if (viewing && (app->count("--speed") > 0 || app->count("--start") > 0))
            throw CLI::ValidationError("--speed and --start",
                                       "a run viewed through a broker is shown as it comes");
        line->role = *publish ? ROLE_PUBLISHER : viewing ? ROLE_VIEWER : ROLE_NONE;
    });
}
