#pragma once
// The keys of the modem's configuration record, in record order: the order of its report, of its
// "at*config" dialogue and of configuration files. Shared by the configurator and the simulated
// modem; each keeps its own table of the key texts, so a typo on either side shows on the wire.

enum class ConfigKey : int {
    DeviceAlias,
    CellularBandSelection,
    UsePin,
    PinCode,
    UsePin2,
    Pin2Code,
    ConfigSerialPort,
    Baudrate,
    DataLength,
    StopBits,
    ParityCheck,
    FlowControl,
    EchoInput,
    ConfigSmsTunneling,
    ConfigSmsToSerial,
    SmsInEncoding,
    ValidSender1,
    ValidSender2,
    ConfigSerialToSms,
    SmsOutEncoding,
    TargetReceiver1,
    TargetReceiver2,
    ConfigAutoanswerAuth,
    ValidCaller1,
    ValidCaller2,
    ConfigAutocallback,
    ValidCallee1,
    ValidCallee2,
    ConfigRetryDtrTrigger,
    RetryCount,
    RetryValidCallee1, // the modem labels these two "Valid Callee1/2" as well
    RetryValidCallee2,
    ConfigGprsCid,
    GprsApn,
    EnablePdpHeaderCompression,
    EnableV42bisPdpDataCompression,
    ConfigOtherInitString,
    InitCommand1,
    InitCommand2,
    InitCommand3,
    InitCommand4,
    InitCommand5,
    ExtraInitString1,
    AutoAnswerRings, // from here on set by commands of their own, not by the dialogue
    DtrDrop,
    GsmBearer,
};

constexpr int keyIndex(ConfigKey key) {
    return static_cast<int>(key);
}

constexpr int kConfigKeyCount = keyIndex(ConfigKey::GsmBearer) + 1;
static_assert(kConfigKeyCount == 46);
// The dialogue prompts the keys up to this one; the rest are AT commands.
constexpr ConfigKey kLastDialogueKey = ConfigKey::ExtraInitString1;
constexpr ConfigKey kFirstCommandKey = ConfigKey::AutoAnswerRings;
