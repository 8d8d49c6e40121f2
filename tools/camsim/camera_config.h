// One simulated camera as configured: who it is, what it reports and how it
// misbehaves. Every setting has a text key, shared by the configuration file and
// the command line, so both are read by the same applySetting().
#ifndef CAMSIM_CAMERA_CONFIG_H
#define CAMSIM_CAMERA_CONFIG_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "client/factory_param.h"

namespace camsim {

struct Application {
    std::string name;
    int32_t state = 12; // RUN
};

struct NetInterface {
    std::string name;
    bool dhcp = false;
    std::string mac;
    std::string ip;
    std::string netmask;
    std::string gateway;
    bool wifi = false;
    std::string ssid;
    std::string passphrase;
    int32_t wifi_mode = 0;    // 1 AP, 2 client
    int32_t wifi_channel = 0; // 0 = not given
};

// Calendar time with milliseconds, as the camera's clock reports it.
struct ClockTime {
    int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0, millisecond = 0;
};

// One feedback message of the update stream.
struct UpdateStep {
    int32_t status = 64;
    int32_t progress = 0;
    std::string text;
};

// Ways of sending a malformed answer.
enum class Malformed {
    None,
    Field,  // the payload's last field declares more bytes than follow
    Header, // the command header's magic is wrong
    Tbp,    // over UDP: the TBP packet index is out of sequence
};

struct Misbehaviour {
    bool silent = false;                 // records requests, never answers
    int32_t delay_ms = 0;                // every answer waits this long
    int32_t refuse = 0;                  // error code put into answers; 0 = none
    std::vector<int32_t> refuse_commands; // empty: every command but keep-alives
    std::vector<int32_t> omit_codes;     // data codes left out of every answer
    Malformed malformed = Malformed::None;
    std::vector<int32_t> malformed_commands; // empty: every command but keep-alives
    int32_t drop_stream_after = -1;      // close the connection after this many feedback messages
    int32_t keepalive_answer_first = 0;  // keep-alives answered before ignoring starts
    int32_t keepalive_ignore = 0;        // keep-alives ignored then; -1 = for ever
    int32_t reboot_ms = 0;               // after a reboot: connections closed, silent this long
};

struct CameraConfig {
    std::string family = "kordexv2";
    std::string ip;
    std::string mac;
    int32_t serial = 0;
    std::string device_type = "KXV2-200";
    std::string netbios;
    int32_t board_code = 42;
    std::vector<Application> apps;
    std::string boot_version = "1.4.2";
    std::string image_version = "2.6.0-r17";
    std::string kernel_version = "5.10.120";
    std::string filesystem_version = "2.6.0";
    std::string driver_version = "3.1.7";
    std::vector<int32_t> fpga = {0x00020104, 0x00010003};
    std::optional<ClockTime> gmt_time; // unset: the host's clock
    int32_t tz_offset_min = 60;
    std::string timezone = "CET-1CEST";
    bool month_first = false; // date-time byte order: day first unless set
    int32_t value_12025 = 7;
    FactoryParam_T factory{}; // the library's record; -1 and "" are left out
    std::string factory_codes = "FC-0001-A";
    std::vector<NetInterface> interfaces;
    std::vector<UpdateStep> update_steps;
    int32_t update_interval_ms = 50;
    bool update_end = true; // send the end message after the feedback
    Misbehaviour misbehave;
};

// A camera numbered `index` (0-based) of a set that starts at `base_ip`.
// Fails (empty optional) when the address cannot be formed.
std::optional<CameraConfig> defaultCamera(int index, const std::string &base_ip, std::string &error);

// Applies one key=value setting. Gives false with a reason for an unknown key or a
// value that does not parse.
bool applySetting(CameraConfig &camera, const std::string &key, const std::string &value,
                  std::string &error);

// Decimal or 0x-hexadecimal, signed, within 32 bits (hex may use all 32); blanks around
// the number are ignored.
std::optional<int32_t> parseInt(const std::string &text);

// Dotted IPv4 text <-> host-order number.
std::optional<uint32_t> parseIPv4(const std::string &text);
std::string formatIPv4(uint32_t address);

// "00:50:C2:52:88:99" -> the six octets in text order.
std::optional<std::vector<uint8_t>> parseMac(const std::string &text);

} // namespace camsim

#endif
