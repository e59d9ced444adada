// plant/: the sensors on the plant network.
//   session.h        the one MQTT session that publish and the gateway share: client, will, login
//                    and TLS, reconnect with back-off, in-flight limit, acknowledgements, take-over
//   publish.cpp      kryta-lt publish: one sensor under JSON topics
//   sparkplug.h      the Sparkplug B payloads (sparkplug_b.proto, compiled by protoc at build time)
//   gateway.h        kryta-lt gateway: every sensor of the computer as one Sparkplug B edge node, a
//                    supervisor with its parts (configuration, ports, births and data, journal)
//   gateway_line.cpp kryta-lt gateway-line: the process of one port, started by the gateway
// It stands on common/ (connect, confirmed reads, measurement frames, JSON) and the sensor core.
#pragma once

#include "common/common.h"

int CmdPublish(const Args& a);
// `setOption` reads a setting of the configuration file as the option table reads the option.
int CmdGateway(const Args& a, OptionSetter setOption);
int CmdGatewayLine(const Args& a);
