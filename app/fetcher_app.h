#ifndef APP_FETCHER_APP_H_
#define APP_FETCHER_APP_H_

#include "app/invocation.h"

// The application: does the whole job once, inside InitInstance, and ends.
class FetcherApp {
 public:
  explicit FetcherApp(Invocation invocation) : invocation_(std::move(invocation)) {}
  virtual ~FetcherApp() = default;
  // Constructs the main object, runs it and destroys it. Returns false: there
  // is no message loop, the process ends with exit code 0.
  virtual bool InitInstance();

 private:
  Invocation invocation_;
};

#endif  // APP_FETCHER_APP_H_
