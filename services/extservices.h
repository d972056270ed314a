#pragma once
// The three extension-service objects of the running program, owned by the workspace for its whole life:
// constructed queue transmit, simulator, J1939 DMx, and destroyed in the reverse order, each stopping and
// joining its threads as it goes.
#include "app/canworkspace.h"
#include "services/j1939dmx.h"
#include "services/queuetx.h"
#include "services/vehsim.h"

class CExtServices {
public:
    // The J1939 service reports refused transfers into the workspace's info ring.
    explicit CExtServices(CCanWorkspace& ws);
    CExtServices(const CExtServices&) = delete;
    CExtServices& operator=(const CExtServices&) = delete;

    CExtSerCanMsgQueueTx& QueueTx() { return m_queueTx; }
    CExtSerVehEnvSimulator& VehSim() { return m_vehSim; }
    CExtSerCanJ1939DMx& J1939() { return m_j1939; }

    // Ends every service's threads (queue aborted, simulation stopped, DMx sending stopped) and joins them.
    void StopAll();

    // Builds the services and gives them to the workspace, which destroys them before the sender and the
    // receive thread they use. Returns them.
    static CExtServices& Install(CCanWorkspace& ws);
    // The workspace's services, or null before Install.
    static CExtServices* Of(CCanWorkspace& ws) { return ws.Services(); }

    // The source of the services' operator messages.
    static constexpr const char* kInfoSource = "SAE-J1939 DMx";

private:
    CExtSerCanMsgQueueTx m_queueTx;
    CExtSerVehEnvSimulator m_vehSim;
    CExtSerCanJ1939DMx m_j1939;
};
