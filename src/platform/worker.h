// A second thread that runs the jobs handed to it one at a time, in order, so
// that slow system calls (the script's file writes) overlap the caller's own
// work. Where no thread can be started, each job runs at once in the caller.
#pragma once

namespace vesk::platform {

class Worker {
 public:
  using Job = void (*)(void* context);

  Worker();
  // Waits for the last job, then ends the thread.
  ~Worker();
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  // Waits for the previous job to finish, then starts `job(context)`.
  void Post(Job job, void* context);
  // Returns once the last posted job has finished.
  void Wait();

  struct State;  // the platform's own

 private:
  State* state_;
};

}  // namespace vesk::platform
