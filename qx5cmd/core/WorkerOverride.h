// A gauge worker's own copy of something a run keeps once (its session, statistics, console):
// installed on the calling thread for the scope's life, so the code it runs finds the worker's
// copy where it would find the run's.
#pragma once

namespace qx5cmd {

template <class T>
class WorkerOverride {
 public:
  explicit WorkerOverride(T& worker) : previous_(installed_) { installed_ = &worker; }
  ~WorkerOverride() { installed_ = previous_; }
  WorkerOverride(const WorkerOverride&) = delete;
  WorkerOverride& operator=(const WorkerOverride&) = delete;

  // The calling thread's copy, or null outside every such scope.
  static T* installed() { return installed_; }

 private:
  static inline thread_local T* installed_ = nullptr;
  T* previous_;
};

}  // namespace qx5cmd
