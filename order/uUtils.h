// Transfer routines of the order upload: the order JPEG encoder and the walk that makes sure a
// folder path exists on the FTP server.
#pragma once

#include <QString>

class QBuffer;

namespace Kestrin {

class TBitmap32;
class TFtpClient;

// Encodes bitmap as a baseline JPEG file at quality 100 (libjpeg's default parameters, all
// quantisation values 1, 24-bit RGB: the colour channels unchanged, alpha dropped) and writes it
// at the stream's current position; afterwards the position is 0. The stream is opened for
// reading and writing if it is not open. Throws EKestrinError when the bitmap is empty or the
// encoder or the stream fails.
void BitmapToJpegStream(const TBitmap32& bitmap, QBuffer& stream);

// Makes sure that path exists on the server and leaves ftp inside it. A leading "/" starts at
// the root ("CWD /"), otherwise at the current folder. The path is split at "/" only, so blanks
// belong to the names; elements that are empty or only blanks are skipped. For every element the
// current folder is listed; when no entry has exactly that name it is made (MKD), then entered
// (CWD). Errors of the server reach the caller; folders made before them stay.
void ForceFtpDir(TFtpClient& ftp, const QString& path);

}  // namespace Kestrin
