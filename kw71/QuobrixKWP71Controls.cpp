// The controls of the KW71/KW81 tester's window: the shared controls with this tester's
// captions, its protocol settings on the Connect tab, and the single-request controls of
// "Misc and Debug" hidden, as it offers no single requests.
#include "kw71/QuobrixKWP71Main.h"
#include "tester/SharedControls.h"

namespace {

using tester::ControlSpec;

ControlSpec Captioned(const char* name, const char* caption) {
  ControlSpec row = tester::RowOf(tester::SharedControls(), name);
  row.caption = caption;
  return row;
}

ControlSpec Hidden(const char* name) {
  ControlSpec row = tester::RowOf(tester::SharedControls(), name);
  row.hidden = true;
  return row;
}

// Masks of the handshake and timing fields: up to two or five digits, blank filled.
constexpr const char* kTwoDigitMask = "99;1; ";
constexpr const char* kFiveDigitMask = "99999;1; ";

tester::ControlTable Kw71Differences() {
  using enum tester::ControlKind;
  using enum tester::Page;
  // clang-format off
  tester::ControlTable rows{
      Captioned("ButtonStartComm2000", "Start Comm"),
      Captioned("ButtonStopComm2000", "Stop  Comm"),
      Captioned("Label18", "KeyBytes Received :"),
      Captioned("ButtonReadDTCByStatusNew", "Read DTC"),

      // Connect: sub-type and baud rate, then the handshake and timing fields.
      {.page = Connect, .name = "PanelSubType", .kind = Panel, .cell = {0, 1}},
      {.page = Connect, .panel = "PanelSubType", .name = "RadioGroupSubType", .kind = RadioGroup,
       .caption = "Prot SubType", .items = {"Auto", "KWP71", "KWP81 ??"}, .itemIndex = 0,
       .cell = {0, 0}},
      {.page = Connect, .panel = "PanelSubType", .name = "BaudRate", .kind = ComboBox,
       .items = {"38400", "19200", "10400", "9600", "8192", "4800", "1200"}, .text = "4800",
       .cell = {1, 0}},
      {.page = Connect, .name = "PanelHandshake", .kind = Panel, .cell = {0, 2}},
      {.page = Connect, .panel = "PanelHandshake", .name = "MaskEditMaxNrKBs", .kind = MaskEdit,
       .text = "5 ", .mask = kTwoDigitMask, .label = "Max nr KB", .cell = {0, 0}},
      {.page = Connect, .panel = "PanelHandshake", .name = "MaskEditMaxTime55", .kind = MaskEdit,
       .text = "1500 ", .mask = kFiveDigitMask, .label = "Max time 55", .cell = {1, 0}},
      {.page = Connect, .panel = "PanelHandshake", .name = "MaskEditMaxTimeKBs", .kind = MaskEdit,
       .text = "1000 ", .mask = kFiveDigitMask, .label = "Max time KB", .cell = {2, 0}},
      {.page = Connect, .panel = "PanelHandshake", .name = "MaskEditKB2CplTime", .kind = MaskEdit,
       .text = "30   ", .mask = kFiveDigitMask, .label = "KB 2Cpl time", .cell = {0, 1}},
      {.page = Connect, .panel = "PanelHandshake", .name = "MaskEditMaxEcuInt", .kind = MaskEdit,
       .text = "150  ", .mask = kFiveDigitMask, .label = "Max Ecu Int", .cell = {1, 1}},
      {.page = Connect, .panel = "PanelHandshake", .name = "MaskEditMaxEcu2Tester",
       .kind = MaskEdit, .text = "400  ", .mask = kFiveDigitMask, .label = "Max Ecu 2 T",
       .cell = {2, 1}},
  };
  // clang-format on
  // Room for the key bytes of a start, up to ten.
  ControlSpec keyBytes = tester::RowOf(tester::SharedControls(), "LabelKeyWord");
  keyBytes.width = 240;
  rows.push_back(keyBytes);
  for (const char* name : {"ButtonEcuReset", "MaskEditResetMode", "ButtonReadDBLID",
                           "MaskEditRDBLI", "ButtonReadDBCID", "MaskEditRDBCI", "ButtonIOCtrlLI",
                           "MaskEditIOCLI_LI", "MaskEditIOCLI_CP"})
    rows.push_back(Hidden(name));
  return rows;
}

}  // namespace

const tester::ControlTable& TQuobrixKWP71Form::WindowControls() {
  static const tester::ControlTable table =
      tester::MergeControls(tester::SharedControls(), Kw71Differences());
  return table;
}
