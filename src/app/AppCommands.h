#pragma once

// Command ids of the program, shared by menus, the toolbar and the transfer bar.
enum AppCommand : int {
    ID_PAUSE = 1000,
    ID_STOP = 1001,
    ID_CONTINUE = 1002,
    ID_RECEIVE = 1003,
    ID_TRANSMIT = 1004,
    ID_SETTINGS = 1005,
    // Restarts: the program's start, then from the caret's line or from the
    // tool change before it.
    ID_TRANSMIT_FROM_LINE = 1006,
    ID_TRANSMIT_FROM_TOOL = 1007,
    // ... or from a block number the operator names.
    ID_TRANSMIT_FROM_BLOCK = 1009,
    // The document beside a stored program.
    ID_COMPARE_PROGRAM = 1008,
    ID_COMM_SETTINGS = 1021,
    ID_MACHINES = 1022,
    // The DNC service from the desktop: its library, and every machine's state.
    ID_FILE_OPEN_LIBRARY = 1023,
    ID_SHOP_STATUS = 1024,
    ID_EDIT_READ_ONLY = 37006,
    ID_VIEW_LINE_NUMBERS = 37300,
    ID_FILE_NEW = 57600,
    ID_FILE_OPEN = 57601,
    ID_FILE_CLOSE = 57602,
    ID_FILE_SAVE = 57603,
    ID_FILE_SAVE_AS = 57604,
    ID_FILE_PAGE_SETUP = 57605,
    ID_FILE_PRINT_SETUP = 57606,
    ID_FILE_PRINT = 57607,
    ID_FILE_PRINT_DIRECT = 57608,
    ID_FILE_PRINT_PREVIEW = 57609,
    ID_FILE_MRU_FILE1 = 57616,
    ID_WINDOW_NEW = 57648,
    ID_WINDOW_ARRANGE = 57649,
    ID_WINDOW_CASCADE = 57650,
    ID_WINDOW_TILE_HORZ = 57651,
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
    ID_HELP = 57670,
    ID_VIEW_TOOLBAR = 59392,
    ID_VIEW_STATUS_BAR = 59393,
};
