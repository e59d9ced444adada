// The gateway's journal: what it writes on standard error, a line each, as a service manager's
// journal keeps it.
#include <cstdio>
#include <string>

#include "plant/gateway.h"
#include "platform/utility.h"

void Log(const std::string& text) {
    std::fprintf(stderr, "kryta-lt: %s\n", text.c_str());
    std::fflush(stderr);
}

std::string Seconds(double s) {
    char t[32];
    std::snprintf(t, sizeof t, "%.1f s", s);
    return t;
}

void TellFound(const Line& l) {
    Log(l.device + " (" + l.deviceId + "): sensor " + (l.everBorn ? "back after " + Seconds(Timer() - l.lostAt) : "found") +
        ": " + l.sensor.Describe());
}

void TellLost(const Line& l, const std::string& why) {
    Log(l.device + " (" + l.deviceId + "): sensor lost after " + std::to_string(l.sensor.LastFrame()) + " frames (" +
        std::to_string(l.sensor.Missed()) + " ridden over): " + why);
}

void TellNoSensor(Line& l, const std::string& why) {
    // never came up: said once per reason, then tried again quietly
    const auto inUse = why.find("in use by ");
    const std::string reason = inUse != std::string::npos ? why.substr(inUse) + ": left alone" : "no sensor: " + why;
    if (reason != l.said)
        Log(l.device + ": " + reason + "; tried again in " + Seconds(l.backoff) + ", backing off up to " +
            Seconds(kLastBackoff));
    l.said = reason;
}

void TellFramesLost(const Line& l, const QJsonObject& o) {
    const qint64 n = o["lost"].toInteger(), first = o["first"].toInteger();
    const std::string numbers = n == 1 ? "number " + std::to_string(first)
                                       : "numbers " + std::to_string(first) + " to " + std::to_string(first + n - 1);
    Log(l.device + " (" + l.deviceId + "): " + std::to_string(n) + (n == 1 ? " frame" : " frames") + " lost, " +
        numbers + ": " + o["why"].toString().toStdString());
}

void TellEnd(bool finalSent, size_t ports, uint64_t published, uint64_t dropped) {
    Log(std::string("gateway ends: ") + (finalSent ? "NDEATH published, " : "") + std::to_string(ports) +
        " port(s) closed; " + std::to_string(published) + " frames published, " + std::to_string(dropped) +
        " not published");
}
