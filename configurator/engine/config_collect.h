#pragma once
// The record as the main settings window holds it, made from a plain copy of the window's values
// so that no worker ever reads a control.

#include "config_record.h"

#include <array>
#include <string>
#include <string_view>

// The main settings window's values, taken on the GUI thread: texts as Latin-1 bytes, choices as
// the record's value codes.
struct FormSnapshot {
    std::string deviceName;
    int bandCode = 0;
    std::string pin;
    bool configSerial = false;
    int baudCode = 0;
    int dataBitsCode = 0;
    int stopBitsCode = 0;
    int parityCode = 0;
    int flowCode = 0;
    bool echoDisabled = false;
    bool smsIn = false;
    bool smsOut = false;
    int smsInEncoding = 0;
    int smsOutEncoding = 0;
    std::array<std::string, 2> callers; // SMS senders No.1 and No.2
    std::array<std::string, 2> targets; // SMS receivers No.1 and No.2
    std::array<std::string, 6> initCommands;
    int rings = 0;
    int dtrDrop = 0;
    int bearer = 0;
};

// A configuration file holds plain numbers for the rings, DTR and bearer keys; the modem takes them
// as AT commands.
enum class RecordUse { Modem, File };

// Each value ends CR LF; the closing element is empty.
ConfigRecord CollectConfig(const FormSnapshot& form, RecordUse use);

// The first n decimal digits of text, in order, every other character skipped.
std::string TakeDigits(std::string_view text, int n);
