// Command identifiers of the main window's menus, its system menu and its accelerator table.
// The recent files take the block CmdRecentFirst .. CmdRecentLast, one command per entry.
#pragma once

enum Cmd : int {
    CmdAboutSystem = 16,
    CmdRecentFirst = 8001,
    CmdRecentLast = 8030,
    CmdOpen = 57601,
    CmdClose = 57602,
    CmdActualSize = 32779,
    CmdZoomOut = 32780,
    CmdZoomIn = 32781,
    CmdExit = 32775,
    CmdAbout = 32776,
    CmdShowAll = 32786,
    CmdShowY = 32787,
    CmdShowCb = 32788,
    CmdShowCr = 32789,
    CmdFlip = 32790,
    CmdToggleFieldOrder = 32791,
    CmdToggleInterlaced = 32792,
    CmdSplitFields = 32793,
    CmdProperties = 32806,
    CmdDeinterlace = 32807,
    CmdMethodTop = 32810,
    CmdMethodBottom = 32811,
    CmdMethodBlend = 32812,
    CmdMethodLowPass = 32813,
    CmdWebsite = 32835,
    CmdMosaicGrey = 32870,
    // View > Colour: the matrix (radio items), full range (check item), and the C key's cycle.
    CmdMatrix601 = 32850,
    CmdMatrix709 = 32851,
    CmdMatrix2020 = 32852,
    CmdMatrixAuto = 32853,
    CmdFullRange = 32854,
    CmdMatrixCycle = 32855,
    // Analysis: saving and copying the displayed frame, exporting frames, the source values
    // and the histogram window.
    CmdSaveFrameAs = 32900,
    CmdCopyFrame = 32901,
    CmdExportFrames = 32902,
    CmdHexValues = 32903,
    CmdShowValues = 32904,
    CmdHistogram = 32905,
};
