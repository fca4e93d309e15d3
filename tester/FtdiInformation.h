// What the programs show of the FTDI interfaces: the port list of the attached interfaces by
// location id, and the block of library and device information for the activity log.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/FtdiInterface.h"

namespace tester {

// "0x" and the location id in eight upper-case hexadecimal digits, one entry per attached
// interface in the order the library lists them; none when the listing fails.
std::vector<std::string> PortListTexts(plat::ftdi::Library& library);

// "Library version = 0x" and the version in eight hexadecimal digits, or the failure line.
std::string LibraryVersionLine(plat::ftdi::Library& library);

// The seven lines of one entry of the device-information list.
std::vector<std::string> DeviceLines(const plat::ftdi::DeviceInfo& device, int index);

// The whole block, framed by empty lines: library version, device count and every device; a
// failing count leaves out the count, a failing device list the devices.
std::vector<std::string> DeviceInformationLines(plat::ftdi::Library& library);

// The first 96 EEPROM words of an open device, 8 to a line: the words in four hexadecimal
// digits, then each word's high and low byte as characters (a zero byte adds none). A word that
// cannot be read gives an error line and stays out of the dump.
std::vector<std::string> EepromWordLines(plat::ftdi::Device& device);

// The block of DeviceInformationLines with each device's handle and, from each device opened by
// its index, its EEPROM words, user-area size and EEPROM strings; a failing count is reported.
std::vector<std::string> DeviceInformationWithEepromLines(plat::ftdi::Library& library);

// A program's block of device information.
using TDeviceInformation = std::function<std::vector<std::string>(plat::ftdi::Library&)>;

}  // namespace tester
