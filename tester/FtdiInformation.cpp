#include "tester/FtdiInformation.h"

#include "platform/Conversions.h"

namespace tester {

namespace {
std::string Hex8(uint32_t value) {
  return plat::IntToHex(value, 8);
}
}  // namespace

std::vector<std::string> PortListTexts(plat::ftdi::Library& library) {
  // The library fills a list sized from the devices it finds, so it never outgrows its buffer.
  std::vector<uint32_t> locationIds;
  if (library.ListLocations(locationIds) != plat::ftdi::kOk) return {};
  std::vector<std::string> texts;
  for (uint32_t id : locationIds)
    texts.push_back("0x" + Hex8(id));
  return texts;
}

std::string LibraryVersionLine(plat::ftdi::Library& library) {
  uint32_t version = 0;
  if (library.GetLibraryVersion(version) != plat::ftdi::kOk) return "error reading library version";
  return "Library version = 0x" + Hex8(version);
}

std::vector<std::string> DeviceLines(const plat::ftdi::DeviceInfo& device, int index) {
  return {"Device: " + std::to_string(index),     "  Flags=0x" + Hex8(device.flags),
          "  Type=0x" + Hex8(device.type),        "  ID=0x" + Hex8(device.id),
          "  LocId=0x" + Hex8(device.locationId), "  SerialNumber=" + device.serialNumber,
          "  Description=" + device.description};
}

std::vector<std::string> DeviceInformationLines(plat::ftdi::Library& library) {
  std::vector<std::string> lines{"", LibraryVersionLine(library), ""};
  std::vector<plat::ftdi::DeviceInfo> devices;
  if (library.GetDeviceInfoList(devices) == plat::ftdi::kOk) {
    lines.push_back("Number of FTDI devices is " + std::to_string(devices.size()));
    for (size_t i = 0; i < devices.size(); ++i) {
      for (std::string& line : DeviceLines(devices[i], static_cast<int>(i)))
        lines.push_back(std::move(line));
    }
  }
  lines.emplace_back();
  return lines;
}

}  // namespace tester
