#include <pthread.h>

#include <new>

#include "platform/worker.h"

namespace vesk::platform {

struct Worker::State {
  pthread_t thread{};
  pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
  pthread_cond_t changed = PTHREAD_COND_INITIALIZER;
  Job job = nullptr;  // set while a job is posted and not yet finished
  void* context = nullptr;
  bool quit = false;
  bool started = false;
};

namespace {

void* Loop(void* argument) {
  auto* s = static_cast<Worker::State*>(argument);
  pthread_mutex_lock(&s->mutex);
  for (;;) {
    while (s->job == nullptr && !s->quit) pthread_cond_wait(&s->changed, &s->mutex);
    if (s->job == nullptr) break;
    Worker::Job job = s->job;
    void* context = s->context;
    pthread_mutex_unlock(&s->mutex);
    job(context);
    pthread_mutex_lock(&s->mutex);
    s->job = nullptr;
    pthread_cond_broadcast(&s->changed);
  }
  pthread_mutex_unlock(&s->mutex);
  return nullptr;
}

}  // namespace

Worker::Worker() : state_(new (std::nothrow) State) {
  if (state_ != nullptr) state_->started = pthread_create(&state_->thread, nullptr, Loop, state_) == 0;
}

Worker::~Worker() {
  if (state_ == nullptr) return;
  if (state_->started) {
    pthread_mutex_lock(&state_->mutex);
    state_->quit = true;
    pthread_cond_broadcast(&state_->changed);
    pthread_mutex_unlock(&state_->mutex);
    pthread_join(state_->thread, nullptr);
  }
  pthread_cond_destroy(&state_->changed);
  pthread_mutex_destroy(&state_->mutex);
  delete state_;
}

void Worker::Post(Job job, void* context) {
  if (state_ == nullptr || !state_->started) {
    job(context);
    return;
  }
  pthread_mutex_lock(&state_->mutex);
  while (state_->job != nullptr) pthread_cond_wait(&state_->changed, &state_->mutex);
  state_->job = job;
  state_->context = context;
  pthread_cond_broadcast(&state_->changed);
  pthread_mutex_unlock(&state_->mutex);
}

void Worker::Wait() {
  if (state_ == nullptr || !state_->started) return;
  pthread_mutex_lock(&state_->mutex);
  while (state_->job != nullptr) pthread_cond_wait(&state_->changed, &state_->mutex);
  pthread_mutex_unlock(&state_->mutex);
}

}  // namespace vesk::platform
