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
    CmdKeyboardShortcuts = 32836,  // Help > Keyboard Shortcuts: the key table
    // Commands of keys alone, on no menu: Ctrl+G (the frame field) and Esc (nothing happens).
    CmdGoToFrameField = 32837,
    CmdIgnoreKey = 32838,
    CmdMosaicGrey = 32870,
    // View > Colour: the matrix (radio items), full range (check item), and the C key's cycle.
    CmdMatrix601 = 32850,
    CmdMatrix709 = 32851,
    CmdMatrix2020 = 32852,
    CmdMatrixAuto = 32853,
    CmdFullRange = 32854,
    CmdMatrixCycle = 32855,
    // Analysis: saving and copying the displayed frame, exporting frames, the source values
    // and the histogram panel (docked beside the picture, or a window of its own). The block
    // 32900 .. 32999 is the analysis module's, which may define further commands of it in its
    // own header (its views' commands: app/analysis/AnalysisViews.h).
    CmdAnalysisBlockFirst = 32900,
    CmdSaveFrameAs = 32900,
    CmdCopyFrame = 32901,
    CmdExportFrames = 32902,
    CmdHexValues = 32903,
    CmdShowValues = 32904,
    CmdHistogram = 32905,
    CmdHistogramWindow = 32906,
    CmdAnalysisBlockLast = 32999,
    // Playback (Play menu, File > Reload, View > Fit to Window): the block 33100 .. 33199 is the
    // playback module's, which may define further commands of it in its own header.
    CmdPlayBlockFirst = 33100,
    CmdPlayPause = 33101,
    CmdPlayForward = 33102,
    CmdPlayBackward = 33103,
    CmdPause = 33104,
    CmdStepForward = 33105,
    CmdStepBack = 33106,
    CmdFirstFrame = 33107,
    CmdLastFrame = 33108,
    CmdLoop = 33109,
    CmdFaster = 33110,
    CmdSlower = 33111,
    CmdNormalSpeed = 33112,
    CmdReload = 33113,
    CmdFitToWindow = 33114,
    // Keys alone: PgUp and PgDn, ten frames on and back as on the slider.
    CmdTenFramesOn = 33115,
    CmdTenFramesBack = 33116,
    CmdPlayBlockLast = 33199,
    // Comparing with a reference file (File > Open Reference, Close Reference; Compare menu).
    CmdOpenReference = 33200,
    CmdCloseReference = 33201,
    CmdShowA = 33202,
    CmdShowB = 33203,
    CmdToggleAB = 33204,
    CmdSideBySide = 33205,
    CmdDifference = 33206,
    CmdSignedDifference = 33207,
    CmdNextGain = 33208,
    CmdFrameFigures = 33209,
    CmdPsnrAllFrames = 33210,
    // B's frame offset from A's (a dialog, one frame later or earlier), and the figures of a
    // rectangle drawn on the picture (arm the drag, clear it).
    CmdReferenceOffset = 33211,
    CmdOffsetLater = 33212,
    CmdOffsetEarlier = 33213,
    CmdRegionFigures = 33214,
    CmdClearRegion = 33215,
    // The amplifications of the difference, one command each in the order of kDifferenceGains.
    CmdGainFirst = 33220,
    CmdGainLast = 33226,
};
