// The service control manager on real calls. The services registered here run Wine's own update service
// program, which starts and stops at once; these tests run under Wine only.
#include "platform/services.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <thread>

namespace ferrolo::platform {
namespace {

using namespace std::chrono_literals;

// A service registered as `name`, with `start_type`, for the life of the test.
class RegisteredService {
public:
    RegisteredService(const wchar_t* name, DWORD start_type) {
        std::wstring program(MAX_PATH, L'\0');
        program.resize(::GetSystemDirectoryW(program.data(), MAX_PATH));
        program += L"\\wuauserv.exe";
        service_ = ::CreateServiceW(manager_, name, name, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                    start_type, SERVICE_ERROR_IGNORE, program.c_str(), nullptr, nullptr,
                                    nullptr, nullptr, nullptr);
    }
    ~RegisteredService() {
        SERVICE_STATUS status{};
        ::ControlService(service_, SERVICE_CONTROL_STOP, &status);
        ::DeleteService(service_);
        ::CloseServiceHandle(service_);
        ::CloseServiceHandle(manager_);
    }

private:
    SC_HANDLE manager_ = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE);
    SC_HANDLE service_ = nullptr;
};

TEST(WindowsServices, AStoppedServiceStartsAndStopsOnRequest) {
    const RegisteredService registered(L"FerroloProva", SERVICE_DEMAND_START);
    const auto manager = system_service_manager(30s);
    ASSERT_TRUE(manager->open_manager());
    auto service = manager->open_service("FerroloProva");
    ASSERT_TRUE(service.has_value());
    EXPECT_EQ(manager->query_state(*service), ServiceState::Stopped);
    EXPECT_TRUE(manager->start(*service));
    EXPECT_EQ(manager->query_state(*service), ServiceState::Running) << "the start is waited for";
    manager->request_stop(*service);
    for (int tries = 0; tries < 100 && manager->query_state(*service) != ServiceState::Stopped; ++tries) {
        std::this_thread::sleep_for(100ms);
    }
    EXPECT_EQ(manager->query_state(*service), ServiceState::Stopped);
    EXPECT_TRUE(manager->release(*service));
    EXPECT_FALSE(manager->release(*service)) << "released once";
}

TEST(WindowsServices, ADisabledServiceIsNotStartedAndAnUnknownOneIsNotFound) {
    const RegisteredService registered(L"FerroloSpento", SERVICE_DISABLED);
    const auto manager = system_service_manager(30s);
    ASSERT_TRUE(manager->open_manager());
    auto service = manager->open_service("FerroloSpento");
    ASSERT_TRUE(service.has_value());
    EXPECT_FALSE(manager->start(*service));
    EXPECT_EQ(manager->query_state(*service), ServiceState::Stopped);
    EXPECT_FALSE(manager->open_service("FerroloNonRegistrato").has_value());
}

}  // namespace
}  // namespace ferrolo::platform
