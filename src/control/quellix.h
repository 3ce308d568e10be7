#pragma once

#include <QWidget>
#include <memory>

class QuellixPrivate;

/// A process-value readout for operator panels.
///
/// The host writes raw readings into InputValue; the control scales them
/// into DisplayValue (InputMultiplier × InputValue + InputOffset) and
/// OutputValue (OutputMultiplier × DisplayValue + OutputOffset), shows both,
/// and on every scan tick classifies DisplayValue against four limits. Its
/// configuration lives in the settings row of its name (the widget's
/// objectName) in SETTINGS.MDB; its events go to LOG.MDB. Both files lie in
/// the directory that was current when the control registered.
///
/// \code
///   auto *meter = new Quellix(panel);
///   meter->setObjectName("Meter1");
///   meter->initProperties();            // registers the control
///   meter->setInputValue(42.0);
/// \endcode
///
/// Property setters report failures (the store refusing a write, an
/// overflowing recompute) as quellix::Error exceptions; handlers driven by
/// the event loop never let an error escape.
class Quellix : public QWidget
{
    Q_OBJECT
    Q_CLASSINFO("DefaultEvent", "DisplayChange")
    Q_PROPERTY(bool AutoRedraw READ AutoRedraw WRITE setAutoRedraw DESIGNABLE false STORED false)
    Q_PROPERTY(bool Enabled READ Enabled WRITE setControlEnabled DESIGNABLE false STORED false)
    Q_PROPERTY(double InputMultiplier READ InputMultiplier WRITE setInputMultiplier DESIGNABLE false STORED false)
    Q_PROPERTY(double InputOffset READ InputOffset WRITE setInputOffset DESIGNABLE false STORED false)
    Q_PROPERTY(double OutputMultiplier READ OutputMultiplier WRITE setOutputMultiplier DESIGNABLE false STORED false)
    Q_PROPERTY(double OutputOffset READ OutputOffset WRITE setOutputOffset DESIGNABLE false STORED false)
    Q_PROPERTY(double DisplayValue READ DisplayValue WRITE setDisplayValue DESIGNABLE false STORED false)
    Q_PROPERTY(QString Units READ Units WRITE setUnits DESIGNABLE false STORED false)
    Q_PROPERTY(double OutputValue READ OutputValue WRITE setOutputValue DESIGNABLE false STORED false)
    Q_PROPERTY(double InputValue READ InputValue WRITE setInputValue DESIGNABLE false STORED false)
    Q_PROPERTY(double CautionLimit READ CautionLimit WRITE setCautionLimit DESIGNABLE false STORED false)
    Q_PROPERTY(double WarningLimit READ WarningLimit WRITE setWarningLimit DESIGNABLE false STORED false)
    Q_PROPERTY(double LowerLimit READ LowerLimit WRITE setLowerLimit DESIGNABLE false STORED false)
    Q_PROPERTY(double UpperLimit READ UpperLimit WRITE setUpperLimit DESIGNABLE false STORED false)
    Q_PROPERTY(bool Ascending READ Ascending WRITE setAscending DESIGNABLE false STORED false)
    Q_PROPERTY(QString Password READ Password WRITE setPassword DESIGNABLE false STORED false)
    Q_PROPERTY(qint16 Scanrate READ Scanrate WRITE setScanrate DESIGNABLE false STORED false)

public:
    explicit Quellix(QWidget *parent = nullptr);
    ~Quellix() override;

    bool AutoRedraw() const;
    bool Enabled() const;
    double InputMultiplier() const;
    double InputOffset() const;
    double OutputMultiplier() const;
    double OutputOffset() const;
    double DisplayValue() const;
    QString Units() const;
    double OutputValue() const;
    double InputValue() const;
    double CautionLimit() const;
    double WarningLimit() const;
    double LowerLimit() const;
    double UpperLimit() const;
    bool Ascending() const;
    QString Password() const;
    /// Throws quellix::Error (overflow) when the stored rate does not fit 16 bits.
    qint16 Scanrate() const;

    /// Creates the store files when missing, binds the control to the
    /// settings row of its name (adding one with factory values for a new
    /// name) and applies the row. Never throws.
    Q_INVOKABLE void REGISTER();

    /// The host's run-mode flag: true while a program runs, false while a
    /// form designer shows the control. True by default.
    bool userMode() const;
    void setUserMode(bool running);

    /// Whether the hold button has frozen the readout.
    bool Onhold() const;

    // Lifecycle notifications of the host (resize, show and hide come from
    // the widget's own events; a change of objectName counts as an ambient
    // change). None of them throws.
    void initialize();
    void initProperties();
    void readProperties();
    void writeProperties();
    void ambientChanged();
    void terminate();

public Q_SLOTS:
    void setAutoRedraw(bool on);
    /// The control's own Enabled: gates the pipeline, the scan and recording,
    /// and enables or disables the thirteen operator elements of the face.
    void setControlEnabled(bool on);
    void setInputMultiplier(double v);
    void setInputOffset(double v);
    void setOutputMultiplier(double v);
    void setOutputOffset(double v);
    void setDisplayValue(double v);
    void setUnits(const QString &units);
    void setOutputValue(double v);
    void setInputValue(double v);
    void setCautionLimit(double v);
    void setWarningLimit(double v);
    void setLowerLimit(double v);
    void setUpperLimit(double v);
    void setAscending(bool ascending);
    void setPassword(const QString &password);
    void setScanrate(qint16 ms);

Q_SIGNALS:
    void Click();
    void DblClick();
    void Show();
    void Hide();
    void MouseMove(qint16 Button, qint16 Shift, float x, float y);
    void ScanComplete();
    void Change();
    void Resize();
    void InputChange(double InputValue);
    void DisplayChange(double DisplayValue);
    void OutputChange(double OutputValue);
    void ReachLowerLimit(double DisplayValue);
    void ReachNormalRange(double DisplayValue);
    void ReachCautionRange(double DisplayValue);
    void ReachWarningRange(double DisplayValue);
    void ReachUpperLimit(double DisplayValue);
    void HoldOn();
    void HoldOff();

    /// The property-changed notification to the host, with the property's name.
    void propertyChanged(const QString &name);

protected:
    bool event(QEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void showEvent(QShowEvent *e) override;
    void hideEvent(QHideEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;

private:
    friend class QuellixPrivate;
    std::unique_ptr<QuellixPrivate> const d;
};
