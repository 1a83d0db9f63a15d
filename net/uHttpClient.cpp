#include "uHttpClient.h"

#include <curl/curl.h>

#include <QUrl>
#include <mutex>

#include "common/uErrors.h"
#include "common/uSettings.h"

namespace Kestrin {

namespace {

// No answer of the shop's web server is anywhere near this; a peer that sends more is broken
// and must not exhaust the memory.
constexpr qsizetype MaxBodySize = 64 * 1024 * 1024;

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct TTransfer {
  QByteArray Body;
  QByteArray StatusLine;  // of the last response head ("HTTP/1.1 200 OK")
  bool TooLarge = false;
};

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<TTransfer*>(user);
  const size_t n = size * count;
  if (t->Body.size() + static_cast<qsizetype>(n) > MaxBodySize) {
    t->TooLarge = true;
    return 0;  // aborts the transfer
  }
  t->Body.append(data, static_cast<qsizetype>(n));
  return n;
}

size_t WriteHeader(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<TTransfer*>(user);
  const size_t n = size * count;
  const QByteArray line(data, static_cast<qsizetype>(n));
  // A new response head (after an interim 1xx answer) starts with a new status line.
  if (line.startsWith("HTTP/")) t->StatusLine = line.trimmed();
  return n;
}

// Characters that cannot stand in a request line as they are (they would end it or split
// it) are percent-encoded; everything else goes out byte for byte.
QByteArray RequestTarget(const QString& pathAndQuery) {
  QByteArray raw = pathAndQuery.toUtf8();
  if (!raw.startsWith('/')) raw.prepend('/');
  QByteArray out;
  out.reserve(raw.size());
  for (const char c : raw) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u == 0x7F) {
      out += '%';
      out += QByteArray::number(u, 16).rightJustified(2, '0').toUpper();
    } else {
      out += c;
    }
  }
  return out;
}

// The path part alone, encoded so that the URL parser accepts it; it only serves the cookie
// engine's path matching, since the request line carries RequestTarget().
QByteArray UrlPath(const QByteArray& target) {
  QByteArray path = target;
  const qsizetype cut = path.indexOf('?');
  if (cut >= 0) path.truncate(cut);
  const qsizetype hash = path.indexOf('#');
  if (hash >= 0) path.truncate(hash);
  return QUrl::toPercentEncoding(QString::fromUtf8(path), "/%!$&'()*+,;=:@");
}

QString TransferError(CURLcode code, const QString& server, const char* detail) {
  const int timeout = NetworkTimeoutSeconds();
  switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
      return QStringLiteral("웹 서버 %1 의 주소를 찾을 수 없습니다").arg(server);
    case CURLE_COULDNT_CONNECT:
      return QStringLiteral("웹 서버 %1 에 연결할 수 없습니다").arg(server);
    case CURLE_OPERATION_TIMEDOUT:
      return QStringLiteral("웹 서버 %1 가 %2초 동안 응답하지 않아 요청을 중단했습니다")
          .arg(server)
          .arg(timeout);
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE:
      return QStringLiteral("웹 서버 %1 와의 연결이 응답 도중에 끊어졌습니다").arg(server);
    case CURLE_URL_MALFORMAT:
      return QStringLiteral("웹 서버 주소 %1 가 올바르지 않습니다").arg(server);
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_UNSUPPORTED_PROTOCOL:
      return QStringLiteral("웹 서버 %1 가 올바른 HTTP 응답을 보내지 않았습니다").arg(server);
    default:
      break;
  }
  QString text = QString::fromUtf8(detail && *detail ? detail : curl_easy_strerror(code));
  return QStringLiteral("웹 서버 %1 와 통신하는 중 오류가 발생했습니다: %2").arg(server, text);
}

}  // namespace

THttpClient::THttpClient() : FServer(WebServer()) {
  GlobalInit();
  CURL* curl = curl_easy_init();
  if (!curl) throw EKestrinError(QStringLiteral("HTTP 연결을 준비할 수 없습니다"));
  // An empty cookie file name switches on the in-memory cookie engine of this handle.
  curl_easy_setopt(curl, CURLOPT_COOKIEFILE, "");
  FCurl = curl;
}

THttpClient::~THttpClient() {
  curl_easy_cleanup(static_cast<CURL*>(FCurl));
}

void THttpClient::SetServer(const QString& hostPort) {
  FServer = hostPort.trimmed();
}

QString THttpClient::Server() const {
  return FServer;
}

QByteArray THttpClient::Get(const QString& pathAndQuery) {
  CURL* curl = static_cast<CURL*>(FCurl);
  const QByteArray target = RequestTarget(pathAndQuery);
  const QByteArray url = "http://" + FServer.toUtf8() + UrlPath(target);
  const long timeout = NetworkTimeoutSeconds();

  TTransfer transfer;
  char errorBuffer[CURL_ERROR_SIZE] = {};

  curl_slist* headers = nullptr;
  headers = curl_slist_append(headers, "Accept: text/html, */*");
  headers = curl_slist_append(headers, "Content-Type: text/html");
  headers = curl_slist_append(headers, "Expect:");
  std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headerGuard(headers,
                                                                          curl_slist_free_all);

  curl_easy_setopt(curl, CURLOPT_URL, url.constData());
  curl_easy_setopt(curl, CURLOPT_REQUEST_TARGET, target.constData());
  curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(curl, CURLOPT_PROXY, "");  // never through a proxy from the environment
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "Mozilla/3.0 (compatible; Indy Library)");
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, nullptr);
  // A peer that accepts and then stays silent must not block the program for ever: below
  // one byte per second for the whole time limit ends the request. A slow answer that keeps
  // coming is left to finish.
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, timeout);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, timeout);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &WriteBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &WriteHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);

  const CURLcode code = curl_easy_perform(curl);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);

  if (transfer.TooLarge)
    throw EKestrinError(
        QStringLiteral("웹 서버 %1 의 응답이 너무 커서 받을 수 없습니다").arg(FServer));
  if (code != CURLE_OK) throw EKestrinError(TransferError(code, FServer, errorBuffer));

  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  if (status < 200 || status > 299) {
    const QString line = QString::fromLatin1(transfer.StatusLine);
    throw EKestrinError(line.isEmpty() ? QStringLiteral("HTTP %1").arg(status) : line);
  }
  return transfer.Body;
}

QString EncodeQueryValue(const QString& value) {
  return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

}  // namespace Kestrin
