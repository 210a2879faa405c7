// The instrument's serial line: COM1 at 19200 baud, 8N1.
#pragma once

// The run-time library numbers COM1 as port 1.
constexpr int LINE_PORT = 1;
constexpr const char* LINE_NAME = "COM1";
constexpr long LINE_BAUD = 19200;
constexpr int LINE_BITS_PER_BYTE = 10; // 8N1: start bit, eight data bits, stop bit
constexpr double CHARACTER_TIME = static_cast<double>(LINE_BITS_PER_BYTE) / LINE_BAUD;
