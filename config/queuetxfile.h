#pragma once
// The queue-transmit list file: an XML file (GBK) whose root "EXT_SER_QUEUE_TX_MSG_CFG_FILE" holds the
// configuration's queue-transmit section alone, so one frame list can serve several setups.
#include <string>

class CAppCfg;

// Writes the configuration's queue-transmit settings to path (atomically). False with error when the file
// cannot be written; the file is then unchanged.
bool SaveQueueTxMsgFile(const CAppCfg& cfg, const std::string& path, std::string& error);

// Replaces the configuration's queue-transmit settings with those of the file; entries get fresh keys from
// the next key. Any root name is accepted, so a configuration file yields the list it holds. False with
// error, the settings unchanged, when the file cannot be read, is not well formed or holds no list. Entries
// that cannot be sent as the file has them are loaded and kept as they stand (QueueTxMsgFault); notice then
// names them: "列表文件 <path> 中以下报文不能发送，保存时按原样保留：“name”：fault；…".
bool LoadQueueTxMsgFile(CAppCfg& cfg, const std::string& path, std::string& error,
                        std::string* notice = nullptr);
