#include "config/queuetxfile.h"

#include "config/appcfg.h"
#include "config/cfgdoc.h"
#include "config/cfgsections.h"
#include "platform/xml/xmldoc.h"

namespace {
constexpr char kRoot[] = "EXT_SER_QUEUE_TX_MSG_CFG_FILE";
}

bool SaveQueueTxMsgFile(const CAppCfg& cfg, const std::string& path, std::string& error) {
    CXmlDoc doc;
    doc.NewElem(kRoot, 0);
    SaveCfgSetExtQueueTxService(doc, cfg.QueueTx);
    if (doc.SaveWithDeclaration(path)) return true;
    error = cfgdoc::writeFailed(path, doc.GetResult());
    return false;
}

bool LoadQueueTxMsgFile(CAppCfg& cfg, const std::string& path, std::string& error, std::string* notice) {
    CXmlDoc doc;
    std::string text, detail;
    switch (cfgdoc::loadDoc(path, doc, text, detail)) {
        case cfgdoc::DocLoad::Missing:
        case cfgdoc::DocLoad::Unreadable:
            error = cfgdoc::readFailed(path, detail);
            return false;
        case cfgdoc::DocLoad::IllFormed:
            error = cfgdoc::illFormed(path, detail);
            return false;
        case cfgdoc::DocLoad::NoElement:
            break;
        case cfgdoc::DocLoad::Ok:
            // Without that root the section is looked for under the first top-level element.
            doc.FindNextElem(kRoot);
            if (LoadCfgSetExtQueueTxService(doc, cfg.QueueTx)) {
                const std::string faults = QueueTxFaultList(cfg.QueueTx);
                if (notice != nullptr && !faults.empty())
                    *notice = "列表文件 " + path + " 中以下报文不能发送，保存时按原样保留：" + faults;
                return true;
            }
            break;
    }
    error = "文件 " + path + " 中没有报文队列。";
    return false;
}
