// kryta-lt gateway: the settings, then one event loop that serves the ports and the node until
// SIGTERM or Ctrl-C, then the end: NDEATH, every port closed. See gateway.h for its parts.
#include <algorithm>
#include <string>

#include "plant/gateway.h"
#include "plant/plant.h"
#include "platform/events.h"
#include "platform/utility.h"

namespace {

constexpr double kStopSeconds = 3;  // for the sensors' processes to settle their lines and end

// Until an interruption or a fault that ends the gateway: what is due is done, then the loop sleeps
// until a line comes, a child ends, a device appears, the network thread has news or the next
// moment something is due.
void Serve(Ports& ports, Node& node) {
    while (!Interrupted() && !node.fatal) {
        const double now = Timer();
        double next = ports.Due(now, now + 86400);
        next = node.Due(now, next);
        if (node.fatal) break;
        WaitForEvent(next);
    }
}

}  // namespace

int CmdGateway(const Args& given, OptionSetter setOption) {
    GatewayConfig config;
    if (const int code = ReadGatewayConfig(given, setOption, config); code != kExitOk) return code;
    Node* node = nullptr;
    Ports ports(config, [&node](Line& l, const std::string& text) { node->OnLine(l, text); },
                [&node](Line& l) { node->Lost(l); });
    Node served(config, ports);
    node = &served;
    if (const int code = served.Open(); code != kExitOk) return code;
    ports.WatchDevices();

    // The first connection is tried from here (the network thread reconnects only a connection it
    // has had); a broker that is not there yet is tried again (or the next one), backing off up to 30 s.
    if (const int code = served.TryBroker(); code != kExitOk) return code;
    ports.Look();
    for (const auto& l : ports.lines)
        if (!l->present) Log(l->device + ": no device; it is tried when it appears");
    Serve(ports, served);

    // The end: the sensors' processes settle and close their lines; NDEATH; the session closed.
    ports.Stop();
    const bool finalSent = served.Close();
    ports.Reap(kStopSeconds);
    TellEnd(finalSent, ports.lines.size(), served.published, served.dropped);
    return served.fatal ? served.fatal : kExitOk;
}
