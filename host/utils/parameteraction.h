#pragma once

#include <QAction>

namespace Utils {

// An action whose text names a parameter (typically the current file): it shows
// 'emptyText' while the parameter is empty and 'parameterText' with "%1" replaced
// by the parameter otherwise.
class ParameterAction : public QAction
{
    Q_OBJECT
public:
    enum EnablingMode { AlwaysEnabled, EnabledWithParameter };

    ParameterAction(const QString &emptyText, const QString &parameterText,
                    EnablingMode mode = AlwaysEnabled, QObject *parent = nullptr);

    QString emptyText() const { return m_emptyText; }
    QString parameterText() const { return m_parameterText; }
    EnablingMode enablingMode() const { return m_enablingMode; }
    QString parameter() const { return m_parameter; }

public slots:
    void setParameter(const QString &parameter);

private:
    QString m_emptyText;
    QString m_parameterText;
    EnablingMode m_enablingMode;
    QString m_parameter;
};

} // namespace Utils
