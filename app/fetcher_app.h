#ifndef APP_FETCHER_APP_H_
#define APP_FETCHER_APP_H_

// The application: does the whole job once, inside InitInstance, and ends.
class FetcherApp {
 public:
  virtual ~FetcherApp() = default;
  // Constructs the main object, runs it and destroys it. Returns false: there
  // is no message loop, the process ends with exit code 0.
  virtual bool InitInstance();
};

#endif  // APP_FETCHER_APP_H_
