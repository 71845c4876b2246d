#include "windows/win32_threads.h"

#include <new>

namespace orvanta::windows {

namespace {

constexpr DWORD kLastJoinMs = 5000;

class Win32Worker : public interfaces::Worker {
public:
    explicit Win32Worker(std::function<void()> body) : body_(std::move(body)) {}

    bool Launch() {
        // Created suspended so the priority is set before the first step.
        DWORD id = 0;
        thread_.reset(CreateThread(nullptr, 0, &Win32Worker::Entry, this, CREATE_SUSPENDED, &id));
        if (!thread_) return false;
        id_ = id;
        SetThreadPriority(thread_.get(), THREAD_PRIORITY_NORMAL);
        ResumeThread(thread_.get());
        return true;
    }
    ~Win32Worker() override {
        // The thread runs our body: it must be gone before the body is freed.
        // Owners stop it first; this bound only keeps a missed stop from
        // hanging the host for ever.
        if (thread_ && !Win32Worker::Join(kLastJoinMs)) Win32Worker::Terminate();
    }
    bool Join(std::uint32_t ms) override {
        if (!thread_) return true;
        // The worker may be inside SendMessage to a window of the joining
        // thread: take such messages in while waiting, or neither moves.
        const DWORD start = GetTickCount();
        for (;;) {
            const DWORD spent = GetTickCount() - start;
            const DWORD left = ms == INFINITE ? INFINITE : (spent >= ms ? 0 : ms - spent);
            HANDLE handle = thread_.get();
            // Also for a message that came before the wait and that this
            // thread has seen already: a plain wait wakes only for new ones.
            const DWORD woke = MsgWaitForMultipleObjectsEx(1, &handle, left, QS_SENDMESSAGE, MWMO_INPUTAVAILABLE);
            if (woke == WAIT_OBJECT_0) return true;
            if (woke != WAIT_OBJECT_0 + 1) return false;
            MSG msg;
            PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
    }
    bool HasEnded() const override {
        return !thread_ || WaitForSingleObject(thread_.get(), 0) == WAIT_OBJECT_0;
    }
    void Terminate() override {
        if (thread_ && !HasEnded()) {
            TerminateThread(thread_.get(), 0);
            WaitForSingleObject(thread_.get(), INFINITE);
        }
    }
    std::uint32_t ThreadId() const override { return id_; }

private:
    static DWORD WINAPI Entry(LPVOID self) {
        static_cast<Win32Worker*>(self)->body_();
        return 0;
    }
    std::function<void()> body_;
    framework::UniqueThread thread_;
    DWORD id_ = 0;
};

}  // namespace

Win32StopSignal::Win32StopSignal() : event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

std::unique_ptr<interfaces::StopSignal> Win32Threads::CreateStopSignal() {
    auto signal = std::make_unique<Win32StopSignal>();
    if (!signal->WaitHandle()) return nullptr;
    return signal;
}

std::unique_ptr<interfaces::Worker> Win32Threads::Start(std::function<void()> body) {
    auto worker = std::unique_ptr<Win32Worker>(new (std::nothrow) Win32Worker(std::move(body)));
    if (!worker || !worker->Launch()) return nullptr;
    return worker;
}

}  // namespace orvanta::windows
