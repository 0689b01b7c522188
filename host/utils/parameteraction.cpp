#include "parameteraction.h"

namespace Utils {

ParameterAction::ParameterAction(const QString &emptyText, const QString &parameterText,
                                 EnablingMode mode, QObject *parent)
    : QAction(emptyText, parent), m_emptyText(emptyText), m_parameterText(parameterText),
      m_enablingMode(mode)
{
    if (m_enablingMode == EnabledWithParameter)
        setEnabled(false);
}

void ParameterAction::setParameter(const QString &parameter)
{
    m_parameter = parameter;
    const bool enabled = !parameter.isEmpty();
    setText(enabled ? m_parameterText.arg(parameter) : m_emptyText);
    if (m_enablingMode == EnabledWithParameter)
        setEnabled(enabled);
}

} // namespace Utils
