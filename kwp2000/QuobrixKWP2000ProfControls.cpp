// The controls of the KWP2000 tester's window: the shared controls and those only this tester
// has.
#include "kwp2000/QuobrixKWP2000ProfMain.h"
#include "tester/SharedControls.h"

namespace {

tester::ControlTable Kwp2000OnlyControls() {
  using enum tester::ControlKind;
  using enum tester::Page;
  using tester::kByteMask;
  // clang-format off
  return {
      // Connect: protocol choices in the middle, the tester address and timing on the right.
      {.page = Connect, .name = "PanelHeader", .kind = Panel, .cell = {0, 1}},
      {.page = Connect, .panel = "PanelHeader", .name = "RadioGroupAddressMode", .kind = RadioGroup,
       .caption = "Address Mode", .items = {"HM 2 Physical address", "HM 3 Functional address"},
       .itemIndex = 0, .cell = {0, 0}},
      {.page = Connect, .panel = "PanelHeader", .name = "RadioGroupHeaderType", .kind = RadioGroup,
       .caption = "Header Type", .items = {"Auto", "1 byte  header", "Tgt/Src address in header"},
       .itemIndex = 0, .cell = {1, 0}},
      {.page = Connect, .name = "PanelInit", .kind = Panel, .cell = {0, 2}},
      {.page = Connect, .panel = "PanelInit", .name = "RadioInit2000", .kind = RadioGroup,
       .caption = "Init Type", .items = {"fast init", "5 baud init"}, .itemIndex = 0,
       .cell = {0, 0}},
      {.page = Connect, .panel = "PanelInit", .name = "RadioGroupLengthInfo", .kind = RadioGroup,
       .caption = "Length Information",
       .items = {"Auto", "Length in formatbyte", "Additional lengthbyte"}, .itemIndex = 0,
       .cell = {1, 0}},
      {.page = Connect, .panel = "PanelAddresses", .name = "MaskEditTesterAddress2000",
       .kind = MaskEdit, .text = "0xf1", .mask = kByteMask, .label = "Tester", .cell = {0, 0}},
      {.page = Connect, .panel = "PanelAddresses", .kind = Label, .caption = "min P2 max",
       .cell = {1, 0, 1, 2}},
      {.page = Connect, .panel = "PanelAddresses", .name = "MaskEditP2min", .kind = MaskEdit,
       .text = "0x00", .mask = kByteMask, .cell = {2, 0}},
      {.page = Connect, .panel = "PanelAddresses", .name = "MaskEditP2max", .kind = MaskEdit,
       .text = "0x0a", .mask = kByteMask, .cell = {2, 1}},
      {.page = Connect, .panel = "PanelAddresses", .kind = Label, .caption = "min P3 max",
       .cell = {3, 0, 1, 2}},
      {.page = Connect, .panel = "PanelAddresses", .name = "MaskEditP3min", .kind = MaskEdit,
       .text = "0x14", .mask = kByteMask, .cell = {4, 0}},
      {.page = Connect, .panel = "PanelAddresses", .name = "MaskEditP3max", .kind = MaskEdit,
       .text = "0x14", .mask = kByteMask, .cell = {4, 1}},
      {.page = Connect, .panel = "PanelAddresses", .name = "MaskEditP4min", .kind = MaskEdit,
       .text = "0x00", .mask = kByteMask, .label = "P4min", .cell = {5, 0}},
      {.page = Connect, .panel = "PanelAddresses", .name = "ButtonReadTiming", .kind = Button,
       .caption = "Read Timing", .tag = 6, .cell = {6, 0}},
      {.page = Connect, .panel = "PanelAddresses", .name = "ButtonSetTiming", .kind = Button,
       .caption = "Set Timing", .tag = 7, .cell = {6, 1}},
      {.page = Connect, .panel = "PanelKeyWord", .name = "LabelKeyWordDec", .kind = BoldLabel,
       .caption = "----", .cell = {0, 2}},
      {.page = Connect, .panel = "PanelKeyWord", .name = "ButtonMode2000", .kind = Button,
       .caption = "Set Mode", .tag = 3, .hidden = true, .cell = {2, 0}},
      {.page = Connect, .panel = "PanelKeyWord", .name = "MaskEditMode2000", .kind = MaskEdit,
       .text = "0x86", .mask = kByteMask, .hidden = true, .cell = {2, 1}},
      {.page = Connect, .panel = "PanelKeyWord", .name = "MaskEditModeBaud2000", .kind = MaskEdit,
       .text = "0x00", .mask = kByteMask, .hidden = true, .cell = {2, 2}},
      {.page = Connect, .panel = "PanelKeyWord", .name = "CheckBoxMode", .kind = CheckBox,
       .caption = "Send Baud byte", .hidden = true, .cell = {2, 3}},

      // Diagnose: status and groups of the read by status, codes of the status read.
      {.page = Diagnose, .name = "ButtonReadStatusOfDTC", .kind = Button,
       .caption = "Read Status of DTC", .tag = 1001, .cell = {0, 2}},
      {.page = Diagnose, .name = "ListBoxDTCStatus18", .kind = ListBox, .label = "Status",
       .cell = {1, 0}},
      {.page = Diagnose, .name = "ListBoxDTCGroup18", .kind = ListBox, .label = "Group",
       .cell = {1, 1}},
      {.page = Diagnose, .name = "ListBoxDTCGroup17", .kind = ListBox, .label = "Group",
       .cell = {1, 2}},
      {.page = Diagnose, .name = "ListBoxDTCGroup14", .kind = ListBox, .hidden = true,
       .cell = {1, 3}},

      // Realtime Select.
      {.page = RealtimeSelect, .name = "ButtonDefineLI", .kind = Button,
       .caption = "Define LI with Items Selected", .hidden = true, .cell = {2, 1}},

      // Misc and Debug: the timing requests.
      {.page = MiscAndDebug, .name = "ButtonReadTiming2", .kind = Button, .caption = "Read Timing",
       .tag = 6, .cell = {4, 0}},
      {.page = MiscAndDebug, .name = "ButtonReadTimingLimits", .kind = Button,
       .caption = "Read Timing Limits", .tag = 8, .cell = {5, 0}},
  };
  // clang-format on
}

}  // namespace

const tester::ControlTable& TQuobrixKWP2000Form::WindowControls() {
  static const tester::ControlTable table =
      tester::MergeControls(tester::SharedControls(), Kwp2000OnlyControls());
  return table;
}
