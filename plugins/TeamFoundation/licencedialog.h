#pragma once

#include <QDialog>

namespace TeamFoundation {
namespace Internal {

// Shows the licence of the cross-platform client, which refuses to contact a server until it
// is accepted, when a person's command meets that refusal: the text the client prints, and
// Accept or Cancel. Accepting is the person's word; the client records it itself.
class LicenceDialog : public QDialog
{
    Q_OBJECT
public:
    // 'text' as the client printed it; empty when it could not be read.
    LicenceDialog(const QString &binary, const QString &text, QWidget *parent = nullptr);
    ~LicenceDialog() override;
};

} // namespace Internal
} // namespace TeamFoundation
