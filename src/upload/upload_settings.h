// Where an upload goes and what it carries beyond the capture: the settings the transport takes
// for one upload. The program's settings loader (app/settings.h) fills it at the start of every
// upload, starting from the build's own target when nothing is configured.
#pragma once

#include <string>

struct UploadSettings {
    std::string scheme = "http";    // "http" or "https"
    std::string host;               // a DNS name or dotted IPv4 address, as written
    int port = 80;                  // the port to connect to: the one given, else 80 or 443
    bool portGiven = false;         // the URL named the port, so the Host header carries it
    std::string path = "/api.php";  // the request line's target, query included
    std::string token;              // sent as "Authorization: Bearer TOKEN" when not empty
    std::string caFile;  // UTF-8 path of PEM certificates trusted beside the system's; may be empty
};
