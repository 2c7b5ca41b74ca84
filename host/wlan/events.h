// Wireless-extension records as the kernel writes them for a process of
// this machine's word size: the event stream of a scan and the range record.
#pragma once

#include <cstdint>
#include <string>

struct WlanScenario;

// Scan events: a header of length and command padded to the event's union,
// fixed parts in native layout, point events without their pointer.
void add_address_event(std::string& out, const uint8_t mac[6]);
void add_freq_event(std::string& out, int32_t m, int16_t e);
void add_quality_event(std::string& out, uint8_t qual, uint8_t level, uint8_t noise, uint8_t flags);
void add_point_event(std::string& out, uint16_t cmd, const std::string& payload, uint16_t length,
                     uint16_t flags);

// The range record of a 2.4 GHz radio (channels 1 to 13), in the layout of
// its version: the current one from 16 on, the older one before.
std::string range_record(const WlanScenario& s);
