#include "services/extservices.h"

#include <memory>

namespace {

void destroy(CExtServices* services) {
    if (services == nullptr) return;
    services->StopAll();
    delete services;
}

}  // namespace

CExtServices::CExtServices(CCanWorkspace& ws)
    : m_queueTx(ws.Sender()), m_vehSim(ws.Sender()), m_j1939(ws.Sender()) {
    m_j1939.SetReporter([&ws](const std::string& text) { ws.AddInfoMsg(kInfoSource, 1, text); });
}

void CExtServices::StopAll() {
    m_j1939.StopTx();
    m_vehSim.StopSimulation();
    m_queueTx.Abort();
}

CExtServices& CExtServices::Install(CCanWorkspace& ws) {
    CExtServices* services = new CExtServices(ws);
    ws.InstallServices(CCanWorkspace::ServicesPtr(services, &destroy));
    return *services;
}
