#include <windows.h>

#include <new>

#include "platform/worker.h"

namespace vesk::platform {

// Events rather than condition variables: they exist on every Windows the
// library loads on.
struct Worker::State {
  HANDLE thread = nullptr;
  HANDLE posted = nullptr;  // auto-reset: a job (or the quit request) is waiting
  HANDLE idle = nullptr;    // manual-reset: no job is running or waiting
  Job job = nullptr;
  void* context = nullptr;
  volatile LONG quit = 0;
};

namespace {

DWORD WINAPI Loop(LPVOID argument) {
  auto* s = static_cast<Worker::State*>(argument);
  for (;;) {
    WaitForSingleObject(s->posted, INFINITE);
    if (InterlockedCompareExchange(&s->quit, 0, 0) != 0) return 0;
    s->job(s->context);
    SetEvent(s->idle);
  }
}

void Close(Worker::State* s) {
  if (s->posted != nullptr) CloseHandle(s->posted);
  if (s->idle != nullptr) CloseHandle(s->idle);
  if (s->thread != nullptr) CloseHandle(s->thread);
}

}  // namespace

Worker::Worker() : state_(new (std::nothrow) State) {
  if (state_ == nullptr) return;
  state_->posted = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  state_->idle = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  if (state_->posted != nullptr && state_->idle != nullptr) {
    state_->thread = CreateThread(nullptr, 0, Loop, state_, 0, nullptr);
  }
  if (state_->thread == nullptr) {
    Close(state_);
    delete state_;
    state_ = nullptr;
  }
}

Worker::~Worker() {
  if (state_ == nullptr) return;
  Wait();
  InterlockedExchange(&state_->quit, 1);
  SetEvent(state_->posted);
  WaitForSingleObject(state_->thread, INFINITE);
  Close(state_);
  delete state_;
}

void Worker::Post(Job job, void* context) {
  if (state_ == nullptr) {
    job(context);
    return;
  }
  WaitForSingleObject(state_->idle, INFINITE);
  ResetEvent(state_->idle);
  state_->job = job;
  state_->context = context;
  SetEvent(state_->posted);
}

void Worker::Wait() {
  if (state_ != nullptr) WaitForSingleObject(state_->idle, INFINITE);
}

}  // namespace vesk::platform
