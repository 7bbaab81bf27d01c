// The registers of the calibration steps, shared by the files of TCalibration.
#pragma once

constexpr int RegCalStatus = 0x0021;
constexpr int RegCalWeight = 0x0100;
constexpr int RegZero = 0x0102;
constexpr int RegSpan = 0x0103;
constexpr int RegSetPoint = 0x0104;
constexpr int RegClearPoint = 0x0105;
constexpr int RegDirectZero = 0x0106;
constexpr int RegDirectSpan = 0x0107;
constexpr int RegSpanWeight = 0x0112;
