// Fixed sizes, paths, commands and answer texts of the upload CGI.
#pragma once

#include <cstddef>

constexpr size_t FW_IMAGE_SIZE = 8126464;  // 0x7C0000
constexpr size_t FW_MARK_OFFSET = 4;
constexpr size_t FW_MARK_LEN = 7;
constexpr const char* FW_MARK = "OpenWrt";
constexpr size_t FW_NAME_MAX = 127;
// No upload of one image can be larger: the image plus generous room for the
// form's boundaries and part headers.
constexpr size_t FW_BODY_MAX = FW_IMAGE_SIZE + 1048576;

// A client that sends nothing for this long has stalled: the upload ends.
constexpr int FW_IDLE_MS = 60000;

constexpr const char* FW_STAGING = "/tmp/fwupgrade";
// Appended to the staging path: where the image is written until it is whole.
constexpr const char* FW_STAGING_PART = ".part";
constexpr const char* FW_LOCK = "/var/lock/fw_upgrade.lock";
constexpr const char* FW_RM_FORMAT = "rm -f %s";
constexpr const char* FW_SYNC = "sync";
constexpr const char* FW_LENGTH_VAR = "CONTENT_LENGTH";

constexpr const char* FW_HEADER = "Content-type:text/html\r\n\r\n";
constexpr const char* FW_GREETING = "nidaye";
constexpr const char* FW_CLOSE_BODY = "</body>\n";
constexpr const char* FW_CLOSE_HTML = "\n</html>\n";
constexpr const char* FW_NAME_FORMAT = "%s <br>";

constexpr const char* FW_ERR_CREATE =
    "1 there is a error,please reboot the device and upgrade again! <br>";
constexpr const char* FW_ERR_MEMORY =
    "2 there is a error,please reboot the device and upgrade again! <br>";
constexpr const char* FW_ERR_SHORT =
    "3 there is a error,please reboot the device and upgrade again! <br>";
constexpr const char* FW_ERR_NO_START =
    "there is a error,please reboot the device and upgrade again! <br>";
constexpr const char* FW_ERR_CHECKSUM =
    "5 there is a error,please reboot the device and upgrade again! <br>";
constexpr const char* FW_ERR_WRITE =
    "6 there is a error,please reboot the device and upgrade again! <br>";
