#include "tester/FtdiInformation.h"

#include <memory>
#include <utility>

#include "measurement/Cp1252.h"
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

namespace {

constexpr uint32_t kDumpedEepromWords = 96;
constexpr uint32_t kWordsPerLine = 8;

void Append(std::vector<std::string>& lines, std::vector<std::string> more) {
  for (std::string& line : more)
    lines.push_back(std::move(line));
}

// A byte as its character; a zero byte is none.
std::string ByteCharacter(uint16_t byte) {
  return byte ? std::string(1, static_cast<char>(byte)) : std::string();
}

std::vector<std::string> EepromStringLines(plat::ftdi::Device& device) {
  plat::ftdi::EepromStrings strings;
  if (device.ReadEepromStrings(strings) != plat::ftdi::kOk) return {};
  return {"  Manufacturer=" + strings.manufacturer, "  ManufacturerId=" + strings.manufacturerId,
          "  Description=" + strings.description, "  SerialNumber=" + strings.serialNumber};
}

// Opens the device by its index for its EEPROM lines, and closes it again.
std::vector<std::string> EepromLines(plat::ftdi::Library& library, int index) {
  std::unique_ptr<plat::ftdi::Device> device;
  if (library.OpenByIndex(static_cast<uint32_t>(index), device) != plat::ftdi::kOk || !device)
    return {"Problem opening device nr. " + std::to_string(index)};
  std::vector<std::string> lines = EepromWordLines(*device);
  uint32_t userAreaBytes = 0;
  if (device->GetUserAreaSize(userAreaBytes) == plat::ftdi::kOk)
    lines.push_back("User EEprom size: 0x" + plat::IntToHex(userAreaBytes, 2));
  Append(lines, EepromStringLines(*device));
  device->Close();
  return lines;
}

// The lines of the nodes filled; `withEeprom` adds each device's handle and EEPROM lines.
std::vector<std::string> NodeLines(plat::ftdi::Library& library,
                                   const std::vector<plat::ftdi::DeviceInfo>& nodes,
                                   bool withEeprom) {
  std::vector<std::string> lines;
  for (size_t i = 0; i < nodes.size(); ++i) {
    const int index = static_cast<int>(i);
    Append(lines, DeviceLines(nodes[i], index));
    if (!withEeprom) continue;
    lines.push_back("  ftHandle=0x" + Hex8(nodes[i].handle));
    Append(lines, EepromLines(library, index));
  }
  return lines;
}

// The block both testers show: the device count, then the nodes allocated for that count and
// filled by a second call. `withEeprom` adds what the KW71 tester shows besides.
std::vector<std::string> InformationBlock(plat::ftdi::Library& library, bool withEeprom) {
  std::vector<std::string> lines{"", LibraryVersionLine(library), ""};
  uint32_t count = 0;
  if (library.CreateDeviceInfoList(count) == plat::ftdi::kOk) {
    lines.push_back("Number of FTDI devices is " + std::to_string(count));
    std::vector<plat::ftdi::DeviceInfo> nodes(count);
    if (library.GetDeviceInfoList(nodes) == plat::ftdi::kOk)
      Append(lines, NodeLines(library, nodes, withEeprom));
  } else if (withEeprom) {
    lines.push_back("Device Info Failed");
  }
  lines.emplace_back();
  return lines;
}

}  // namespace

std::vector<std::string> DeviceInformationLines(plat::ftdi::Library& library) {
  return InformationBlock(library, false);
}

std::vector<std::string> EepromWordLines(plat::ftdi::Device& device) {
  std::vector<std::string> lines;
  std::string hex;
  std::string characters;
  for (uint32_t w = 0; w < kDumpedEepromWords; ++w) {
    uint16_t word = 0;
    if (const plat::ftdi::Status status = device.ReadEepromWord(w, word);
        status != plat::ftdi::kOk) {
      lines.push_back("Problem reading EEprom, wordnr 0x" + plat::IntToHex(w, 2) + " Errorcode " +
                      std::to_string(status));
      continue;
    }
    hex += " " + plat::IntToHex(word, 4);
    characters += " " + ByteCharacter(word >> 8) + " " + ByteCharacter(word & 0xFF);
    if (w % kWordsPerLine == kWordsPerLine - 1) {
      lines.push_back(hex + Cp1252ToUtf8(characters));
      hex.clear();
      characters.clear();
    }
  }
  return lines;
}

std::vector<std::string> DeviceInformationWithEepromLines(plat::ftdi::Library& library) {
  return InformationBlock(library, true);
}

}  // namespace tester
