#pragma once

// The keys of "quorer.xml" with the defaults a missing key is written with: the
// one table the store's readers, writers and defaults use. Private to the store.

// One key of "quorer.xml" with the default a missing key is written with.
struct SettingsKey
{
    const char *section;
    const char *key;
    const char *fallback;
};

namespace {

constexpr SettingsKey kUserServer { "agent", "server", "127.0.0.1" };
constexpr SettingsKey kUserPort { "agent", "port", "4569" };
constexpr SettingsKey kUserName { "agent", "uname", "" };
constexpr SettingsKey kUserPassword { "agent", "passwd", "" };
constexpr SettingsKey kUserCidName { "agent", "cidname", "Type name" };
constexpr SettingsKey kUserCidNum { "agent", "cidnum", "Type number" };

constexpr SettingsKey kOptTrayIcon { "options", "traicon", "yes" };
constexpr SettingsKey kOptOnTop { "options", "ontop", "no" };
constexpr SettingsKey kOptBusy { "options", "busy", "no" };
constexpr SettingsKey kOptDnd { "options", "dnd", "no" };
constexpr SettingsKey kOptForward { "options", "forward", "no" };
constexpr SettingsKey kOptVm { "options", "vm", "no" };
constexpr SettingsKey kOptAgent { "options", "ag", "no" };
constexpr SettingsKey kOptParkingLot { "options", "parking_lot", "70" };
constexpr SettingsKey kOptDndFamily { "options", "dnd_fam", "DND" };
constexpr SettingsKey kOptDndNumber { "options", "dnd_num", "*78" };
constexpr SettingsKey kOptFwdNumber { "options", "fwd_num", "forward number here" };
constexpr SettingsKey kOptForwardVm { "options", "forward_vm", "no" };
constexpr SettingsKey kOptFwdAll { "options", "asterisk_fwd_all", "yes" };
constexpr SettingsKey kOptFwdBusy { "options", "asterisk_fwd_busy", "no" };
constexpr SettingsKey kOptFwdNoAnswer { "options", "asterisk_fwd_na", "no" };
constexpr SettingsKey kOptFwdFamilyAll { "options", "ast_fwd_fam_1", "CF" };
constexpr SettingsKey kOptFwdFamilyBusy { "options", "ast_fwd_fam_2", "CFB" };
constexpr SettingsKey kOptFwdFamilyNoAnswer { "options", "ast_fwd_fam_3", "CFU" };
constexpr SettingsKey kOptVmNumber { "options", "vm_number", "" };
constexpr SettingsKey kOptVmUser { "options", "vm_user", "" };
constexpr SettingsKey kOptVmPassword { "options", "vm_passwd", "" };
constexpr SettingsKey kOptVmPrefix { "options", "vm_preffix", "" };

// The device keys default to the first device of their list.
constexpr SettingsKey kAudioInput { "audio", "input_dev", "" };
constexpr SettingsKey kAudioOutput { "audio", "output_dev", "" };
constexpr SettingsKey kAudioRing { "audio", "ringing_dev", "" };
constexpr SettingsKey kAudioRingInBoth { "audio", "ringInBothDevs", "no" };
constexpr SettingsKey kAudioMuteRing { "audio", "muteRing", "no" };

constexpr SettingsKey kFilterDenoise { "filters", "denoise", "yes" };
constexpr SettingsKey kFilterAgc { "filters", "agc", "yes" };
constexpr SettingsKey kFilterEcho { "filters", "echo", "no" };
constexpr SettingsKey kFilterAagc { "filters", "aagc", "yes" };
constexpr SettingsKey kFilterCn { "filters", "cn", "yes" };

constexpr SettingsKey kCodecGsmKey { "codecs", "gsm", "yes" };
constexpr SettingsKey kCodecUlawKey { "codecs", "ulaw", "yes" };
constexpr SettingsKey kCodecAlawKey { "codecs", "alaw", "yes" };
constexpr SettingsKey kCodecSpeexKey { "codecs", "speex", "yes" };
constexpr SettingsKey kCodecIlbcKey { "codecs", "ilbc", "no" };
constexpr SettingsKey kCodecDefault { "codecs", "default", "gsm" };

constexpr SettingsKey kSpeexDefault { "speex", "default", "yes" };
constexpr SettingsKey kSpeexEnhance { "speex", "decode_enhance", "yes" };
constexpr SettingsKey kSpeexQuality { "speex", "quality", "-1" };
constexpr SettingsKey kSpeexCbr { "speex", "cbr", "-1" };
constexpr SettingsKey kSpeexVbr { "speex", "vbr", "no" };
constexpr SettingsKey kSpeexAbr { "speex", "abr", "8000" };
constexpr SettingsKey kSpeexComplexity { "speex", "complexity", "3" };

constexpr SettingsKey kManagerUsePhoneIp { "manager", "use_phone_ip", "yes" };
constexpr SettingsKey kManagerServer { "manager", "server", "127.0.0.1" };
constexpr SettingsKey kManagerPort { "manager", "port", "5038" };
constexpr SettingsKey kManagerUser { "manager", "uname", "quor" };
constexpr SettingsKey kManagerPassword { "manager", "passwd", "lavo" };
constexpr SettingsKey kManagerFreePbx { "manager", "use_freepbx", "no" };

constexpr SettingsKey kActIn { "actions", "act_in", "no" };
constexpr SettingsKey kActCrm { "actions", "act_crm", "no" };
constexpr SettingsKey kActOut { "actions", "act_out", "no" };
constexpr SettingsKey kActA1 { "actions", "act_a1", "no" };
constexpr SettingsKey kActAppIn { "actions", "opt_AppIn", "" };
constexpr SettingsKey kActScrIn { "actions", "opt_ScrIn", "" };
constexpr SettingsKey kActCrmUrl { "actions", "opt_ActCRM", "" };
constexpr SettingsKey kActAppOut { "actions", "opt_AppOut", "" };
constexpr SettingsKey kActScrOut { "actions", "opt_ScrOut", "" };

// The agent id defaults to the PBX user name.
constexpr SettingsKey kAgentId { "agentLogin", "agentid", "" };
constexpr SettingsKey kAgentPenalty { "agentLogin", "penalty", "0" };

} // namespace
