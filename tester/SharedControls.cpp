#include "tester/SharedControls.h"

namespace tester {

namespace {

ControlTable MakeSharedControls() {
  using enum ControlKind;
  using enum Page;
  // clang-format off
  return {
      // Above the tabs.
      {.page = TopRow, .name = "ButtonStartComplete", .kind = Button, .caption = "Start + ID",
       .cell = {0, 0}},
      {.page = TopRow, .name = "ButtonStopAll", .kind = Button, .caption = "Stop", .cell = {0, 1}},
      {.page = TopRow, .name = "BitBtn1", .kind = GlyphButton, .caption = "&Open Definition File",
       .cell = {0, 2}},
      {.page = TopRow, .name = "ComboBoxDefFileList", .kind = ComboBox, .dropDownRows = 15,
       .cell = {0, 3}},

      // Connect: the interface and the connection buttons on the left, the addresses on the
      // right, the key word below.
      {.page = Connect, .name = "PanelInterface", .kind = Panel, .cell = {0, 0}},
      {.page = Connect, .panel = "PanelInterface", .name = "ComboBoxComPort", .kind = ComboBox,
       .width = 130, .label = "Port", .cell = {0, 0}},
      {.page = Connect, .panel = "PanelInterface", .name = "CheckBoxRcvEcho", .kind = CheckBox,
       .caption = "Echo after send", .checked = true, .cell = {1, 0}},
      {.page = Connect, .panel = "PanelInterface", .name = "CheckBoxSetDTR", .kind = CheckBox,
       .caption = "Set DTR (+12V)", .cell = {2, 0}},
      {.page = Connect, .panel = "PanelInterface", .name = "ButtonStartComm2000", .kind = Button,
       .caption = "Start Comm 2000", .cell = {3, 0}},
      {.page = Connect, .panel = "PanelInterface", .name = "ButtonStopComm2000", .kind = Button,
       .caption = "Stop  Comm 2000", .cell = {4, 0}},
      {.page = Connect, .name = "PanelAddresses", .kind = Panel, .cell = {0, 3}},
      {.page = Connect, .panel = "PanelAddresses", .name = "MaskEditEcuAddress2000",
       .kind = MaskEdit, .text = "0x10", .mask = kByteMask, .label = "ECU", .cell = {0, 1}},
      {.page = Connect, .name = "PanelKeyWord", .kind = Panel, .cell = {1, 0, 1, 4}},
      {.page = Connect, .panel = "PanelKeyWord", .name = "Label18", .kind = Label,
       .caption = "KeyWord Received :", .cell = {0, 0}},
      {.page = Connect, .panel = "PanelKeyWord", .name = "LabelKeyWord", .kind = BoldLabel,
       .caption = "----", .width = 60, .cell = {0, 1}},
      {.page = Connect, .panel = "PanelKeyWord", .kind = Label,
       .caption = "Max Tester to ECU offset time", .cell = {1, 0}},
      {.page = Connect, .panel = "PanelKeyWord", .name = "EditT2EOffset", .kind = Edit,
       .text = "250", .cell = {1, 1}},

      // Identification.
      {.page = Identification, .name = "ButtonIDnew", .kind = Button,
       .caption = "Read ECU Identification", .tag = 1, .cell = {0, 0}},
      {.page = Identification, .name = "StringGrid2", .kind = StringGrid, .cell = {1, 0}},

      // Diagnose.
      {.page = Diagnose, .name = "ButtonReadDTCByStatusNew", .kind = Button,
       .caption = "Read DTC by Status", .tag = 1000, .cell = {0, 0, 1, 2}},
      {.page = Diagnose, .name = "ButtonClearDI", .kind = Button, .caption = "Clear DTC's",
       .tag = 4, .cell = {0, 3}},
      {.page = Diagnose, .name = "StringGrid3", .kind = StringGrid, .cell = {2, 0, 1, 4}},

      // Realtime Select: groups and items on offer, the selection and its items, the values.
      {.page = RealtimeSelect, .name = "ListBoxReadAll", .kind = MultiSelectListBox,
       .label = "Available For Read", .cell = {0, 0, 2, 1}},
      {.page = RealtimeSelect, .name = "ListBoxItemsReadAll", .kind = MultiSelectListBox,
       .label = "Items in Available For Read", .cell = {0, 1, 2, 1}},
      {.page = RealtimeSelect, .name = "ButtonSelect", .kind = Button, .caption = ">", .width = 40,
       .cell = {0, 2}},
      {.page = RealtimeSelect, .name = "ButtonUnSelect", .kind = Button, .caption = "<",
       .width = 40, .cell = {1, 2}, .alignment = Qt::AlignLeft | Qt::AlignTop},
      {.page = RealtimeSelect, .name = "ListBoxReadSel", .kind = MultiSelectListBox,
       .label = "Selected For Read", .labelName = "LabelReadSel", .cell = {0, 3, 2, 1}},
      {.page = RealtimeSelect, .name = "ListBoxItemsAll", .kind = MultiSelectListBox,
       .label = "All Items in Selected for Read", .labelName = "LabelItemsAll",
       .cell = {0, 4, 2, 1}},
      {.page = RealtimeSelect, .kind = Label, .caption = "Items read:", .cell = {2, 0}},
      {.page = RealtimeSelect, .name = "ButtonReadDataOnce", .kind = Button,
       .caption = "Read Selected Data Once", .tag = 3, .cell = {2, 3}},
      {.page = RealtimeSelect, .name = "ButtonToggleReadDataCont1", .kind = Button,
       .caption = "Start/Stop Read Data Continuous", .tag = 3, .cell = {2, 4}},
      {.page = RealtimeSelect, .name = "StringGrid1", .kind = StringGrid, .cell = {3, 0, 1, 5}},

      // Realtime Graph: the chart with its series list, the values below.
      {.page = RealtimeGraph, .name = "Chart1", .kind = Chart, .cell = {0, 0}},
      {.page = RealtimeGraph, .name = "ListBoxItemsChart1", .kind = MultiSelectListBox,
       .width = 220, .cell = {0, 1}},
      {.page = RealtimeGraph, .name = "ButtonToggleReadDataCont2", .kind = Button,
       .caption = "Start/Stop Read Data Continuous", .tag = 3, .cell = {1, 0}},
      {.page = RealtimeGraph, .name = "StringGrid4", .kind = StringGrid, .cell = {2, 0, 1, 2}},
      {.page = RealtimeGraph, .name = "Chart2", .kind = Chart, .hidden = true, .cell = {3, 0}},
      {.page = RealtimeGraph, .name = "ListBoxItemsChart2", .kind = MultiSelectListBox,
       .hidden = true, .width = 220, .cell = {3, 1}},
      {.page = RealtimeGraph, .name = "Chart3", .kind = Chart, .hidden = true, .cell = {4, 0}},
      {.page = RealtimeGraph, .name = "ListBoxItemsChart3", .kind = MultiSelectListBox,
       .hidden = true, .width = 220, .cell = {4, 1}},

      // Misc and Debug: single requests on the left, the activity log on the right.
      {.page = MiscAndDebug, .name = "ButtonEcuReset", .kind = Button, .caption = "ECU Reset",
       .tag = 5, .cell = {0, 0}},
      {.page = MiscAndDebug, .name = "MaskEditResetMode", .kind = MaskEdit, .text = "0x01",
       .mask = kByteMask, .label = "Reset Mode", .cell = {0, 1}},
      {.page = MiscAndDebug, .name = "ButtonReadDBLID", .kind = Button,
       .caption = "Read Data LI 21", .tag = 2, .cell = {1, 0}},
      {.page = MiscAndDebug, .name = "MaskEditRDBLI", .kind = MaskEdit, .text = "0x00",
       .mask = kByteMask, .label = "Local ID", .cell = {1, 1}},
      {.page = MiscAndDebug, .name = "ButtonReadDBCID", .kind = Button,
       .caption = "Read Data CI 22", .tag = 10, .cell = {2, 0}},
      {.page = MiscAndDebug, .name = "MaskEditRDBCI", .kind = MaskEdit, .text = "0x0000",
       .mask = kWordMask, .label = "Common ID", .cell = {2, 1}},
      {.page = MiscAndDebug, .name = "ButtonIOCtrlLI", .kind = Button,
       .caption = "In Out Ctrl LI 30", .tag = 30, .cell = {3, 0}},
      {.page = MiscAndDebug, .name = "MaskEditIOCLI_LI", .kind = MaskEdit, .text = "0x00",
       .mask = kByteMask, .label = "Local ID", .cell = {3, 1}},
      {.page = MiscAndDebug, .name = "MaskEditIOCLI_CP", .kind = MaskEdit, .text = "0x04",
       .mask = kByteMask, .disabled = true, .label = "Ctrl Param", .cell = {3, 2}},
      {.page = MiscAndDebug, .name = "ButtonWriteByteLocID", .kind = Button,
       .caption = "Write Byte LI", .tag = 20, .hidden = true, .cell = {7, 0}},
      {.page = MiscAndDebug, .name = "MaskEditByteLI", .kind = MaskEdit, .text = "0x00",
       .mask = kByteMask, .hidden = true, .cell = {7, 1}},
      {.page = MiscAndDebug, .name = "ButtonWriteWordLocID", .kind = Button,
       .caption = "Write Word LI", .tag = 21, .hidden = true, .cell = {8, 0}},
      {.page = MiscAndDebug, .name = "MaskEditWordLI", .kind = MaskEdit, .text = "0x0000",
       .mask = kWordMask, .hidden = true, .cell = {8, 1}},
      {.page = MiscAndDebug, .name = "ButtonFTDIinfo", .kind = Button, .caption = "FTDI info",
       .hidden = true, .cell = {6, 0}},
      {.page = MiscAndDebug, .name = "Memo1", .kind = Memo, .cell = {0, 3, 10, 1}},

      // About.
      {.page = About, .name = "StaticText1", .kind = LargeText, .caption = "Quobrix",
       .cell = {0, 0}},
      {.page = About, .name = "StaticText2", .kind = LargeText, .caption = "KWP2000",
       .cell = {1, 0}},
      {.page = About, .name = "Image1", .kind = Image, .cell = {0, 1, 2, 1}},
      {.page = About, .name = "Memo2", .kind = Memo,
       .items = {"", "Quobrix Software from Hembrowe", ""}, .cell = {2, 0, 1, 2}},
  };
  // clang-format on
}

}  // namespace

const ControlTable& SharedControls() {
  static const ControlTable table = MakeSharedControls();
  return table;
}

}  // namespace tester
