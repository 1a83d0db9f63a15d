// A small blocking HTTP client for the shop's web server (login check, server clock).
//
// One client keeps one connection handle with its own cookie store: cookies that the server
// sets go back with later requests of the same client object, and of no other. Redirects are
// never followed; every status outside 2xx is an error whose text is the server's status line.
#pragma once

#include <QByteArray>
#include <QString>

namespace Kestrin {

class THttpClient {
 public:
  THttpClient();  // server defaults to Kestrin::WebServer()
  ~THttpClient();
  THttpClient(const THttpClient&) = delete;
  THttpClient& operator=(const THttpClient&) = delete;

  void SetServer(const QString& hostPort);  // host[:port]
  QString Server() const;

  // GET "http://" + server + pathAndQuery, sent exactly as given, and returns the body bytes.
  // Only characters that would break the request line itself (control characters and blanks)
  // are percent-encoded. Throws EKestrinError: on a status outside 2xx or a redirect the text
  // is the server's status line (e.g. "HTTP/1.1 500 Internal Server Error"); on a failed
  // connection, an unknown host, a dropped connection or a server that stops answering for
  // NetworkTimeoutSeconds(), a Korean text that says so.
  QByteArray Get(const QString& pathAndQuery);

 private:
  void* FCurl = nullptr;  // CURL*, kept out of the header
  QString FServer;
};

// Percent-encodes a query value (UTF-8; unreserved characters A-Z a-z 0-9 - . _ ~ kept).
QString EncodeQueryValue(const QString& value);

}  // namespace Kestrin
